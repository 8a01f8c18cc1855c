#include "host.h"

#include "commandline.h"

#include <cstdio>

#ifdef __linux__
#include "bridge.h"
#include "escape.h"
#include "report.h"
#include "watch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
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

// The host for a TNC: received UI frames go to RXData as monitor texts, the
// gateway's commands are carried out as they are written, and Status says
// whether the TNC can be used.
class Host
{
public:
    using MakeBridge = std::function<std::unique_ptr<Bridge>(BridgeEvents)>;

    Host(DirectoryStore &mailbox, const MakeBridge &make)
        : mailbox_(mailbox), watch_(commandFolder(mailbox)),
          bridge_(make({[this] { store(mailbox_, "Status", "String", kActive); },
                        [this](int port, std::string_view ax25) { heard(port, ax25); },
                        [this] { store(mailbox_, "Status", "String", kNoEngine); }}))
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

        StreamLink &link = bridge_->link();
        std::deque<std::string> names;
        for (;;) {
            link.connectWhenDue(Clock::now());
            pollfd fds[3] = {{signals, POLLIN, 0}, {watch_.fd(), POLLIN, 0}, {link.fd(), 0, 0}};
            if (link.open())
                fds[2].events = link.events();
            if (poll(fds, link.open() ? 3 : 2, timeoutMs()) < 0 && errno != EINTR)
                return 1;
            if (fds[0].revents) {
                link.close();
                store(mailbox_, "Status", "String", "Zeno Terminated!");
                if (const std::string summary = bridge_->summary(); !summary.empty())
                    std::fprintf(stderr, "%s\n", summary.c_str());
                return 0;
            }
            if (link.open() && fds[2].revents)
                link.service(fds[2].revents);
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
        const StreamLink &link = bridge_->link();
        auto wait = std::chrono::milliseconds(StreamLink::kRetryMs);
        const auto now = Clock::now();
        if (!link.open())
            wait = std::min(
                wait, std::chrono::duration_cast<std::chrono::milliseconds>(link.retryAt() - now));
        if (!received_.empty())
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      received_.nextAt() - now));
        return static_cast<int>(std::max<long long>(wait.count(), 0)) + 1;
    }

    void heard(int port, std::string_view ax25)
    {
        if ((rxPort_ >= 0 && port != rxPort_) || port >= agw::kMaxPort)
            return;
        std::string why;
        const auto ui = agw::decodeUi(ax25, &why);
        if (!ui) {
            std::fprintf(stderr, "zeno-host: skipped a frame heard on port %d: %s\n", port + 1,
                         why.c_str());
            return;
        }
        received_.add(monitorTextNow(port + 1, *ui));
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
            std::string why;
            if (!bridge_->transmit(txPort_, value(mailbox_, "MyCall", "String"), to_, via_,
                                   agw::transmitInformation(value(mailbox_, "TXData", "String")),
                                   why))
                std::fprintf(stderr, "zeno-host: TXDATA not sent: %s\n", why.c_str());
        }
    }

    DirectoryStore &mailbox_;
    CommandWatch watch_;
    RxQueue received_;
    std::unique_ptr<Bridge> bridge_;
    int rxPort_ = -1; // every port
    int txPort_ = 0;
    std::string to_, via_;
};

// "HOST:PORT", "[::1]:PORT" as a TCP target.
std::optional<StreamLink::Target> tcpTarget(const std::string &address)
{
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size())
        return std::nullopt;
    std::string host = address.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return StreamLink::Target{host, address.substr(colon + 1), {}, 0};
}

// A KISS parameter: a whole number from 0 to 255, or -1 when not given.
std::optional<int> kissParameter(const Args &args, const std::string &name)
{
    if (!args.has(name))
        return -1;
    const auto n = wholeNumber(args.option(name));
    if (!n || *n > 255)
        return std::nullopt;
    return n;
}

} // namespace
#endif

int agwHost(DirectoryStore &mailbox, const std::string &address)
{
#ifdef __linux__
    const auto target = tcpTarget(address);
    if (!target)
        return usage("agw takes HOST:PORT, not \"" + address + "\"");
    return Host(mailbox, [&](BridgeEvents events) { return agwBridge(*target, std::move(events)); })
        .run();
#else
    (void)mailbox;
    (void)address;
    std::fputs("zeno-host: agw needs Linux\n", stderr);
    return 1;
#endif
}

int kissHost(DirectoryStore &mailbox, const std::string &where, const Args &args)
{
#ifdef __linux__
    std::optional<StreamLink::Target> target;
    if (!where.empty() && (where.front() == '/' || where.front() == '.')) {
        target = StreamLink::Target{{}, {}, where, 9600};
        const std::string baud = args.option("--baud", "9600");
        const auto speed = wholeNumber(baud);
        if (!speed || !StreamLink::usableBaud(*speed))
            return usage("--baud takes 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200, "
                         "not \"" +
                         baud + "\"");
        target->baud = *speed;
    } else {
        target = tcpTarget(where);
        if (!target)
            return usage("kiss takes HOST:PORT or a serial device (/dev/ttyUSB0), not \"" + where +
                         "\"");
        if (args.has("--baud"))
            return usage("--baud is for a serial device, not HOST:PORT");
    }
    KissParameters parameters;
    const std::pair<const char *, int *> named[] = {{"--txdelay", &parameters.txDelay},
                                                    {"--persist", &parameters.persistence},
                                                    {"--slottime", &parameters.slotTime}};
    for (const auto &[name, field] : named) {
        const auto v = kissParameter(args, name);
        if (!v)
            return usage(std::string(name) + " takes a whole number from 0 to 255");
        *field = *v;
    }
    return Host(mailbox,
                [&](BridgeEvents events) {
                    return kissBridge(*target, parameters, std::move(events));
                })
        .run();
#else
    (void)mailbox;
    (void)where;
    (void)args;
    std::fputs("zeno-host: kiss needs Linux\n", stderr);
    return 1;
#endif
}

} // namespace zenohost
