#pragma once

#ifdef __linux__

#include "agw.h"

#include <chrono>
#include <functional>
#include <string>

namespace zenohost {

// The TCP link to a TNC engine's AGWPE interface: connects without blocking,
// asks the engine for what the host needs, hands on whole frames and sends
// what is queued; after a failure it tries again every kRetryMs.
class EngineLink
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kRetryMs = 3000;

    struct Handlers
    {
        std::function<void()> answered; // the engine's first frame on this link
        std::function<void(const agw::Frame &)> frame;
        std::function<void()> lost; // a link the engine had answered on is gone
    };

    EngineLink(std::string host, std::string port, Handlers handlers);
    ~EngineLink() { close(); }
    EngineLink(const EngineLink &) = delete;
    EngineLink &operator=(const EngineLink &) = delete;

    bool open() const { return socket_ >= 0; }
    // The engine has answered on this link.
    bool active() const { return active_; }
    int fd() const { return socket_; }
    // What poll() should wait for on fd().
    short events() const;
    Clock::time_point retryAt() const { return retryAt_; }

    void connectWhenDue(Clock::time_point now);
    // After poll() gave `events` on fd().
    void service(short events);
    void send(const std::string &bytes);
    void close();

private:
    std::string where() const { return host_ + ":" + port_; }
    void down(const std::string &why);
    void connectNow();
    void flush();
    void take(const agw::Frame &frame);

    const std::string host_, port_;
    Handlers handlers_;
    int socket_ = -1;
    bool connecting_ = false;
    bool active_ = false;
    bool downReported_ = false; // said once per outage
    Clock::time_point retryAt_{};
    std::string out_;
    agw::Reader reader_;
};

} // namespace zenohost

#endif
