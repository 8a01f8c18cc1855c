#include "agwhost.h"

#include "commandline.h"

#include <cstdio>

#ifdef __linux__
#include "agwlink.h"
#include "escape.h"
#include "report.h"
#include "watch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <deque>
#include <optional>
#include <poll.h>
#include <sys/signalfd.h>
#endif

namespace zenohost {

#ifdef __linux__
namespace {

using Clock = std::chrono::steady_clock;

// Monitor texts on their way to RXData. The gateway looks once a second, so
// they are stored at least kGapMs apart; past kBacklog waiting, the oldest
// is dropped.
class RxQueue
{
public:
    static constexpr int kGapMs = 1200;
    static constexpr std::size_t kBacklog = 32;

    void add(std::string text)
    {
        if (texts_.size() == kBacklog) {
            std::fputs("zeno-host: frames come faster than the gateway takes them; the "
                       "oldest waiting one is dropped\n",
                       stderr);
            texts_.pop_front();
        }
        texts_.push_back(std::move(text));
    }
    bool empty() const { return texts_.empty(); }
    Clock::time_point nextAt() const { return nextAt_; }
    // The text to store now, if one waits and its time has come.
    std::optional<std::string> takeDue(Clock::time_point now)
    {
        if (texts_.empty() || now < nextAt_)
            return std::nullopt;
        std::string text = std::move(texts_.front());
        texts_.pop_front();
        nextAt_ = now + std::chrono::milliseconds(kGapMs);
        return text;
    }

private:
    std::deque<std::string> texts_;
    Clock::time_point nextAt_{};
};

// The host for a TNC engine with an AGWPE interface: received UI frames go
// to RXData as monitor texts, the gateway's commands are carried out as they
// are written, and Status says whether an engine answers.
class AgwHost
{
public:
    AgwHost(DirectoryStore &mailbox, std::string host, std::string port)
        : mailbox_(mailbox), watch_(commandFolder(mailbox)),
          link_(std::move(host), std::move(port),
                {[this] { store(mailbox_, "Status", "String", kActive); },
                 [this](const agw::Frame &frame) { engineFrame(frame); },
                 [this] { store(mailbox_, "Status", "String", kNoEngine); }})
    {
    }

    int run()
    {
        sigset_t ending;
        sigemptyset(&ending);
        for (const int s : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&ending, s);
        sigprocmask(SIG_BLOCK, &ending, nullptr);
        const int signals = signalfd(-1, &ending, SFD_CLOEXEC);
        if (signals < 0 || !watch_.add()) {
            std::fprintf(stderr, "zeno-host: cannot watch %s: %s\n",
                         watch_.folder().string().c_str(), std::strerror(errno));
            return 1;
        }
        // A gateway that started first has already chosen ports and path.
        takePorts(false);
        takeAddressing(false);
        store(mailbox_, "Status", "String", kNoEngine);

        std::deque<std::string> names;
        for (;;) {
            link_.connectWhenDue(Clock::now());
            pollfd fds[3] = {{signals, POLLIN, 0}, {watch_.fd(), POLLIN, 0}, {link_.fd(), 0, 0}};
            if (link_.open())
                fds[2].events = link_.events();
            if (poll(fds, link_.open() ? 3 : 2, timeoutMs()) < 0 && errno != EINTR)
                return 1;
            if (fds[0].revents) {
                link_.close();
                store(mailbox_, "Status", "String", "Zeno Terminated!");
                return 0;
            }
            if (link_.open() && fds[2].revents)
                link_.service(fds[2].revents);
            if (fds[1].revents) {
                if (!watch_.wait(names))
                    return 1;
                takeCommands(names);
            }
            storeDueFrame();
        }
    }

private:
    static constexpr const char *kActive = "Zeno Server Active!";
    static constexpr const char *kNoEngine = "Zeno running, but no AGWPE!";

    int timeoutMs() const
    {
        auto wait = std::chrono::milliseconds(EngineLink::kRetryMs);
        const auto now = Clock::now();
        if (!link_.open())
            wait = std::min(
                wait, std::chrono::duration_cast<std::chrono::milliseconds>(link_.retryAt() - now));
        if (!received_.empty())
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      received_.nextAt() - now));
        return static_cast<int>(std::max<long long>(wait.count(), 0)) + 1;
    }

    void engineFrame(const agw::Frame &frame)
    {
        if (frame.kind == 'G') {
            std::fprintf(stderr, "zeno-host: engine ports: %s\n",
                         escape(frame.data.substr(0, frame.data.find('\0'))).c_str());
        } else if (frame.kind == 'T') {
            std::string text = frame.data.substr(0, frame.data.find('\0'));
            while (!text.empty() && text.back() == '\r')
                text.pop_back();
            printLine("SENT " + escape(text));
        } else if (frame.kind == 'K') {
            if ((rxPort_ >= 0 && frame.port != rxPort_) || frame.port >= agw::kMaxPort)
                return;
            std::string why;
            const auto ui = agw::decodeRaw(frame.data, &why);
            if (!ui) {
                std::fprintf(stderr, "zeno-host: skipped a frame heard on port %d: %s\n",
                             frame.port + 1, why.c_str());
                return;
            }
            const std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            received_.add(
                agw::monitorText(frame.port + 1, *ui, local.tm_hour, local.tm_min, local.tm_sec));
        }
    }

    void storeDueFrame()
    {
        const auto text = received_.takeDue(Clock::now());
        if (!text)
            return;
        store(mailbox_, "RXData", "String", *text);
        printLine("RX " + escape(*text));
    }

    void takeCommands(std::deque<std::string> &names)
    {
        while (!names.empty()) {
            const std::string name = names.front();
            names.pop_front();
            if (name != "Command")
                continue;
            if (CommandWatch::commandWaits(names))
                std::fputs("zeno-host: fell behind the gateway; a command may be "
                           "carried out with a later one's values\n",
                           stderr);
            command();
        }
    }

    void takePorts(bool complain)
    {
        const auto rx = agw::receivePort(value(mailbox_, "Command", "RXP"));
        const auto tx = agw::transmitPort(value(mailbox_, "Command", "TXP"));
        if (rx)
            rxPort_ = *rx;
        if (tx)
            txPort_ = *tx;
        if (complain && !(rx && tx))
            std::fputs("zeno-host: CHANGEPORT with a port that is no number from 1 to 99; "
                       "that port stays as it was\n",
                       stderr);
    }

    void takeAddressing(bool complain)
    {
        to_ = value(mailbox_, "Command", "To");
        via_ = value(mailbox_, "Command", "Via");
        if (complain && (!agw::validCall(to_) || !agw::parsePath(via_)))
            std::fputs("zeno-host: SETTVF: the destination or the path is not AX.25 call "
                       "signs; nothing can be sent until it is\n",
                       stderr);
    }

    void command()
    {
        reportCommand(mailbox_, "Command");
        const std::string word = value(mailbox_, "Command", "Command");
        if (word == "/CHANGEPORT/") {
            takePorts(true);
        } else if (word == "/SETTVF/") {
            takeAddressing(true);
        } else if (word == "/TXDATA/") {
            std::string why = "no engine";
            const auto frame =
                agw::unproto(txPort_, value(mailbox_, "MyCall", "String"), to_, via_,
                             agw::transmitInformation(value(mailbox_, "TXData", "String")), &why);
            if (frame && link_.active())
                link_.send(*frame);
            else
                std::fprintf(stderr, "zeno-host: TXDATA not sent: %s\n", why.c_str());
        }
    }

    DirectoryStore &mailbox_;
    CommandWatch watch_;
    EngineLink link_;
    RxQueue received_;
    int rxPort_ = -1; // every port
    int txPort_ = 0;
    std::string to_, via_;
};

} // namespace
#endif

int agwHost(DirectoryStore &mailbox, const std::string &address)
{
#ifdef __linux__
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size())
        return usage("agw takes HOST:PORT, not \"" + address + "\"");
    std::string host = address.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return AgwHost(mailbox, host, address.substr(colon + 1)).run();
#else
    (void)mailbox;
    (void)address;
    std::fputs("zeno-host: agw needs Linux\n", stderr);
    return 1;
#endif
}

} // namespace zenohost
