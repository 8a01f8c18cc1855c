#include "bridge.h"

#ifdef __linux__

#include "escape.h"
#include "kiss.h"
#include "report.h"

#include <cstdio>
#include <ctime>

namespace zenohost {

Bridge::Bridge(const StreamLink::Target &target, const char *what, BridgeEvents events)
    : link_(target, what,
            {[this] { opened(); }, [this](std::string_view bytes) { received(bytes); },
             [this] {
                 if (active_) {
                     active_ = false;
                     events_.lost();
                 }
             }}),
      events_(std::move(events))
{
}

void Bridge::becomeActive()
{
    active_ = true;
    events_.active();
}

std::string monitorTextNow(int port, const agw::UiFrame &frame)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return agw::monitorText(port, frame, local.tm_hour, local.tm_min, local.tm_sec);
}

namespace {

class AgwBridge final : public Bridge
{
public:
    AgwBridge(const StreamLink::Target &target, BridgeEvents events)
        : Bridge(target, "engine", std::move(events))
    {
    }

    bool transmit(int port, const std::string &from, const std::string &to, const std::string &via,
                  const std::string &information, std::string &why) override
    {
        const auto frame = agw::unproto(port, from, to, via, information, &why);
        if (frame && active())
            link_.send(*frame);
        else if (frame)
            why = "no engine";
        return frame && active();
    }

private:
    void opened() override
    {
        reader_.clear();
        // Raw frames, monitor texts (which bring our own transmissions
        // back), then the port list: its answer shows the first two are in
        // force.
        for (const char kind : {'k', 'm', 'G'})
            link_.send(agw::encode({0, kind, 0, {}, {}, {}}));
    }

    void received(std::string_view bytes) override
    {
        reader_.append(bytes.data(), bytes.size());
        while (link_.open()) {
            const auto frame = reader_.next();
            if (!frame)
                break;
            take(*frame);
        }
        if (reader_.lost())
            link_.fail("it sent a frame longer than any engine sends");
    }

    void take(const agw::Frame &frame)
    {
        if (!active()) {
            std::fprintf(stderr, "zeno-host: connected to the engine at %s\n",
                         link_.target().where().c_str());
            becomeActive();
        }
        if (frame.kind == 'G') {
            std::fprintf(stderr, "zeno-host: engine ports: %s\n",
                         escape(frame.data.substr(0, frame.data.find('\0'))).c_str());
        } else if (frame.kind == 'T') {
            std::string text = frame.data.substr(0, frame.data.find('\0'));
            while (!text.empty() && text.back() == '\r')
                text.pop_back();
            printLine("SENT " + escape(text));
        } else if (frame.kind == 'K') {
            // One byte for the engine, then the AX.25 frame.
            events_.heard(frame.port,
                          std::string_view(frame.data).substr(frame.data.empty() ? 0 : 1));
        }
    }

    agw::Reader reader_;
};

class KissBridge final : public Bridge
{
public:
    KissBridge(const StreamLink::Target &target, KissParameters parameters, BridgeEvents events)
        : Bridge(target, target.device.empty() ? "engine" : "TNC", std::move(events)),
          parameters_(parameters)
    {
    }

    bool transmit(int port, const std::string &from, const std::string &to, const std::string &via,
                  const std::string &information, std::string &why) override
    {
        const auto frame = kiss::unproto(port, from, to, via, information, &why);
        if (!frame)
            return false;
        if (!active()) {
            why = "no TNC";
            return false;
        }
        link_.send(*frame);
        // A KISS TNC does not say what it sent: this is what it was given.
        const agw::UiFrame sent{from, to, *agw::parsePath(via), 0xf0, information};
        printLine("SENT " + escape(monitorTextNow(port + 1, sent)));
        return true;
    }

    std::string summary() const override
    {
        if (!deframer_.otherCommands() && !deframer_.dropped())
            return {};
        return "zeno-host: " + std::to_string(deframer_.otherCommands()) +
               " KISS frames other than data ignored, " + std::to_string(deframer_.dropped()) +
               " dropped";
    }

private:
    void opened() override
    {
        deframer_.clear();
        std::fprintf(stderr, "zeno-host: connected to the %s at %s\n", link_.what(),
                     link_.target().where().c_str());
        const std::pair<kiss::Command, int> settings[] = {
            {kiss::TxDelay, parameters_.txDelay},
            {kiss::Persistence, parameters_.persistence},
            {kiss::SlotTime, parameters_.slotTime}};
        for (const auto &[command, value] : settings)
            if (value >= 0)
                link_.send(kiss::encode(0, command, std::string(1, static_cast<char>(value))));
        // Unless writing them has already failed.
        if (link_.open())
            becomeActive();
    }

    void received(std::string_view bytes) override
    {
        const std::size_t dropped = deframer_.dropped();
        const bool otherBefore = deframer_.otherCommands() > 0;
        deframer_.append(bytes);
        while (const auto frame = deframer_.next())
            events_.heard(frame->port, frame->ax25);
        if (deframer_.dropped() > dropped)
            std::fprintf(stderr, "zeno-host: dropped %zu KISS frame(s): %s\n",
                         deframer_.dropped() - dropped, deframer_.why().c_str());
        if (!otherBefore && deframer_.otherCommands() > 0)
            std::fputs("zeno-host: the TNC sends KISS frames other than data; they are ignored "
                       "(counted at the end)\n",
                       stderr);
    }

    KissParameters parameters_;
    kiss::Deframer deframer_;
};

} // namespace

std::unique_ptr<Bridge> agwBridge(const StreamLink::Target &target, BridgeEvents events)
{
    return std::make_unique<AgwBridge>(target, std::move(events));
}

std::unique_ptr<Bridge> kissBridge(const StreamLink::Target &target, KissParameters parameters,
                                   BridgeEvents events)
{
    return std::make_unique<KissBridge>(target, parameters, std::move(events));
}

} // namespace zenohost

#endif
