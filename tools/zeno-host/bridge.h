#pragma once

#ifdef __linux__

#include "agw.h"
#include "link.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zenohost {

// What a bridge tells the host.
struct BridgeEvents
{
    std::function<void()> active; // the TNC can be used
    // A frame heard on the TNC's `port` (0 for its first): raw AX.25 without FCS.
    std::function<void(int port, std::string_view ax25)> heard;
    std::function<void()> lost; // it no longer can
};

// The protocol spoken to a TNC over its link: AGWPE or KISS.
class Bridge
{
public:
    virtual ~Bridge() = default;
    Bridge(const Bridge &) = delete;
    Bridge &operator=(const Bridge &) = delete;

    StreamLink &link() { return link_; }
    bool active() const { return active_; }
    // Puts a UI frame on the air through the TNC's `port` (0 for its first);
    // false, with `why`, when it cannot.
    virtual bool transmit(int port, const std::string &from, const std::string &to,
                          const std::string &via, const std::string &information,
                          std::string &why) = 0;
    // One line for the end of the run, or nothing.
    virtual std::string summary() const { return {}; }

protected:
    Bridge(const StreamLink::Target &target, const char *what, BridgeEvents events);
    // A new link: it starts with nothing of the last one.
    virtual void opened() = 0;
    virtual void received(std::string_view bytes) = 0;
    void becomeActive();

    StreamLink link_;
    BridgeEvents events_;

private:
    bool active_ = false;
};

// The AGWPE protocol: active once the engine answers.
std::unique_ptr<Bridge> agwBridge(const StreamLink::Target &target, BridgeEvents events);

// KISS parameters sent to the TNC's first port each time the link opens;
// -1 is not sent.
struct KissParameters
{
    int txDelay = -1, persistence = -1, slotTime = -1;
};

// KISS: active once the link is open (a KISS TNC never answers).
std::unique_ptr<Bridge> kissBridge(const StreamLink::Target &target, KissParameters parameters,
                                   BridgeEvents events);

// The monitor text the host stores for a UI frame heard on the mailbox's
// `port`, stamped with the local time now.
std::string monitorTextNow(int port, const agw::UiFrame &frame);

} // namespace zenohost

#endif
