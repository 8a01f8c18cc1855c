// zeno-host: the host program's side of the mailbox, for tests, the demo and
// stations without the host. It writes what the host writes (call sign,
// folder, state, received frames) and shows what the gateway commands; with
// "agw" it is the host for a TNC engine that speaks the AGWPE protocol.

#include "agw.h"
#include "host/mailbox/directorystore.h"
#include "escape.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using kestrel::mailbox::DirectoryStore;
using kestrel::mailbox::kCurrentUser;
namespace agw = zenohost::agw;

namespace {

const std::string kZeno = "Software\\Zeno\\";

const char *kUsage =
    "Usage: zeno-host [--mailbox DIR] COMMAND ...\n"
    "\n"
    "  init --call CALL --path DIR [--beacon TEXT]\n"
    "                 set MyCall and Path, write DIR/Zeno.ini, status \"Zeno Server Active!\"\n"
    "  rx TEXT        store a monitor text in RXData\n"
    "  replay FILE [--every MS] [--loop]\n"
    "                 store each line of FILE in turn (default every 1500 ms)\n"
    "  status TEXT    store the host's state\n"
    "  set KEY NAME TEXT\n"
    "                 store any value under Software\\Zeno\\KEY\n"
    "  get KEY [NAME] print a value's exact bytes (NAME defaults to String)\n"
    "  watch          print each command the gateway writes, as it happens\n"
    "  agw HOST:PORT  be the host for a TNC engine with an AGWPE interface: store\n"
    "                 each UI frame it hears, carry out the gateway's commands\n"
    "\n"
    "In TEXT and replay lines, \\r, \\n, \\\\ and \\xHH stand for CR, LF, a backslash\n"
    "and any byte; \"--\" ends the options, for a TEXT that starts with \"--\".\n"
    "The mailbox folder is --mailbox, else $ZENO_MAILBOX, else\n"
    "~/.zeno/registry.\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

std::string keyPath(const std::string &key)
{
    return key.rfind("Software\\", 0) == 0 ? key : kZeno + key;
}

bool store(DirectoryStore &mailbox, const std::string &key, const std::string &name,
           const std::string &value)
{
    if (mailbox.set(kCurrentUser, keyPath(key), name, value))
        return true;
    std::fprintf(stderr, "zeno-host: could not store %s \"%s\" under %s\n", keyPath(key).c_str(),
                 name.c_str(), mailbox.folder().string().c_str());
    return false;
}

std::string value(const DirectoryStore &mailbox, const std::string &key, const std::string &name)
{
    return mailbox.get(kCurrentUser, keyPath(key), name).value_or("");
}

// Options after the command word: "--name value" pairs and plain words.
struct Args
{
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::string>> options;
    bool loop = false;

    std::string option(const std::string &name, const std::string &otherwise = {}) const
    {
        for (const auto &[n, v] : options)
            if (n == name)
                return v;
        return otherwise;
    }
    bool has(const std::string &name) const
    {
        for (const auto &o : options)
            if (o.first == name)
                return true;
        return false;
    }
};

int init(DirectoryStore &mailbox, const Args &args)
{
    const std::string call = args.option("--call");
    const std::string path = args.option("--path");
    if (call.empty() || path.empty())
        return usage();
    const fs::path folder = fs::absolute(path);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path ini = folder / "Zeno.ini";
    // Without --beacon an existing Zeno.ini is the host's own and stays.
    if (args.has("--beacon") || !fs::exists(ini)) {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        out << "[APRS]\r\n" << zenohost::unescape(args.option("--beacon")) << "\r\n";
        if (!out) {
            std::fprintf(stderr, "zeno-host: could not write %s\n", ini.string().c_str());
            return 1;
        }
    }
    const bool ok = store(mailbox, "MyCall", "String", zenohost::unescape(call)) &&
                    store(mailbox, "Path", "String", folder.string()) &&
                    store(mailbox, "Status", "String", "Zeno Server Active!");
    return ok ? 0 : 1;
}

int replay(DirectoryStore &mailbox, const Args &args)
{
    if (args.words.size() != 1)
        return usage();
    const long every = std::strtol(args.option("--every", "1500").c_str(), nullptr, 10);
    if (every < 0)
        return usage();
    do {
        std::ifstream in(args.words[0], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "zeno-host: cannot read %s\n", args.words[0].c_str());
            return 1;
        }
        std::string line;
        bool first = true;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            if (!first)
                std::this_thread::sleep_for(std::chrono::milliseconds(every));
            first = false;
            if (!store(mailbox, "RXData", "String", zenohost::unescape(line)))
                return 1;
        }
        if (args.loop)
            std::this_thread::sleep_for(std::chrono::milliseconds(every));
    } while (args.loop);
    return 0;
}

void printLine(const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// One command or announcement, as the host reads it when it sees it.
void report(const DirectoryStore &mailbox, const std::string &name)
{
    using zenohost::escape;
    if (name == "Application") {
        printLine("APPLICATION " + escape(value(mailbox, "Command", "Application")));
        return;
    }
    if (name != "Command")
        return;
    const std::string word = value(mailbox, "Command", "Command");
    if (word == "/TXDATA/")
        printLine("TXDATA " + escape(value(mailbox, "TXData", "String")));
    else if (word == "/SETTVF/")
        printLine("SETTVF to=" + escape(value(mailbox, "Command", "To")) +
                  " via=" + escape(value(mailbox, "Command", "Via")));
    else if (word == "/CHANGEPORT/")
        printLine("CHANGEPORT rxp=" + escape(value(mailbox, "Command", "RXP")) +
                  " txp=" + escape(value(mailbox, "Command", "TXP")));
    else
        printLine("COMMAND " + escape(word));
}

#ifdef __linux__
// The Command folder under inotify. Values are renamed into place (a plain
// write closes the file); if the folder goes away, it is made again and
// watched anew.
class CommandWatch
{
public:
    explicit CommandWatch(fs::path folder) : folder_(std::move(folder))
    {
        fd_ = inotify_init1(IN_CLOEXEC);
    }
    bool add()
    {
        std::error_code ec;
        fs::create_directories(folder_, ec);
        return fd_ >= 0 &&
               inotify_add_watch(fd_, folder_.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) >= 0;
    }
    // Waits for changes, then takes every one already queued, so that a
    // command can be told whether later ones are waiting behind it.
    bool wait(std::deque<std::string> &names)
    {
        if (!readEvents(names, true))
            return false;
        int more = 0;
        while (ioctl(fd_, FIONREAD, &more) == 0 && more > 0)
            if (!readEvents(names, false))
                return false;
        return true;
    }
    const fs::path &folder() const { return folder_; }
    int fd() const { return fd_; }

private:
    bool readEvents(std::deque<std::string> &names, bool block)
    {
        alignas(inotify_event) char buffer[64 * 1024];
        ssize_t n;
        do {
            n = read(fd_, buffer, sizeof buffer);
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            return !block && n == 0;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW)
                std::fputs("zeno-host: too many changes at once; some were missed\n", stderr);
            if (event->mask & IN_IGNORED) {
                std::fprintf(stderr, "zeno-host: %s went away; watching it anew\n",
                             folder_.string().c_str());
                if (!add())
                    return false;
            }
            if (event->len > 0 && event->name[0] != '.')
                names.emplace_back(event->name);
        }
        return true;
    }

    fs::path folder_;
    int fd_ = -1;
};
#endif

int watch(DirectoryStore &mailbox)
{
#ifdef __linux__
    CommandWatch watch(mailbox.valuePath(kCurrentUser, kZeno + "Command", "Command").parent_path());
    if (!watch.add()) {
        std::fprintf(stderr, "zeno-host: cannot watch %s: %s\n", watch.folder().string().c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "zeno-host: watching %s\n", watch.folder().string().c_str());
    std::fflush(stderr);
    std::deque<std::string> names;
    for (;;) {
        if (!watch.wait(names))
            return 1;
        while (!names.empty()) {
            const std::string name = names.front();
            names.pop_front();
            // Values are read when the command is seen, as the host reads
            // them; a command already written behind this one may have
            // replaced them.
            if (name == "Command" &&
                std::find(names.begin(), names.end(), "Command") != names.end())
                std::fputs("zeno-host: fell behind the gateway; the next line may show a later "
                           "command's values\n",
                           stderr);
            report(mailbox, name);
        }
    }
#else
    (void)mailbox;
    std::fputs("zeno-host: watch needs Linux\n", stderr);
    return 1;
#endif
}

#ifdef __linux__
// The host for a TNC engine with an AGWPE interface. Received UI frames go to
// RXData as monitor texts, at least kRxGapMs apart so that the gateway, which
// looks once a second, sees each; the gateway's commands are carried out as
// they are written.
class AgwHost
{
public:
    static constexpr int kRetryMs = 3000;
    static constexpr int kRxGapMs = 1200;
    static constexpr std::size_t kRxBacklog = 32;

    AgwHost(DirectoryStore &mailbox, std::string host, std::string port)
        : mailbox_(mailbox), host_(std::move(host)), port_(std::move(port)),
          watch_(mailbox.valuePath(kCurrentUser, kZeno + "Command", "Command").parent_path())
    {
    }
    ~AgwHost() { closeLink(); }

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
            const auto now = Clock::now();
            if (socket_ < 0 && now >= retryAt_)
                connectNow();
            pollfd fds[3] = {{signals, POLLIN, 0}, {watch_.fd(), POLLIN, 0}, {socket_, 0, 0}};
            if (socket_ >= 0)
                fds[2].events = POLLIN | (connecting_ || !out_.empty() ? POLLOUT : 0);
            if (poll(fds, socket_ >= 0 ? 3 : 2, timeoutMs()) < 0 && errno != EINTR)
                return 1;
            if (fds[0].revents) {
                closeLink();
                store(mailbox_, "Status", "String", "Zeno Terminated!");
                return 0;
            }
            if (socket_ >= 0 && fds[2].revents)
                serviceLink(fds[2].revents);
            if (fds[1].revents) {
                if (!watch_.wait(names))
                    return 1;
                while (!names.empty()) {
                    const std::string name = names.front();
                    names.pop_front();
                    if (name != "Command")
                        continue;
                    if (std::find(names.begin(), names.end(), "Command") != names.end())
                        std::fputs("zeno-host: fell behind the gateway; a command may be "
                                   "carried out with a later one's values\n",
                                   stderr);
                    command();
                }
            }
            storeDueFrame();
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr const char *kActive = "Zeno Server Active!";
    static constexpr const char *kNoEngine = "Zeno running, but no AGWPE!";

    std::string where() const { return host_ + ":" + port_; }

    int timeoutMs() const
    {
        auto wait = std::chrono::milliseconds(kRetryMs);
        const auto now = Clock::now();
        if (socket_ < 0)
            wait = std::min(wait,
                            std::chrono::duration_cast<std::chrono::milliseconds>(retryAt_ - now));
        if (!received_.empty())
            wait = std::min(
                wait, std::chrono::duration_cast<std::chrono::milliseconds>(nextStoreAt_ - now));
        return static_cast<int>(std::max<long long>(wait.count(), 0)) + 1;
    }

    void linkDown(const std::string &why)
    {
        if (!downReported_)
            std::fprintf(stderr, "zeno-host: no engine at %s (%s); trying again every %d s\n",
                         where().c_str(), why.c_str(), kRetryMs / 1000);
        downReported_ = true;
        const bool wasActive = active_;
        closeLink();
        retryAt_ = Clock::now() + std::chrono::milliseconds(kRetryMs);
        if (wasActive)
            store(mailbox_, "Status", "String", kNoEngine);
    }

    void closeLink()
    {
        if (socket_ >= 0)
            ::close(socket_);
        socket_ = -1;
        connecting_ = false;
        active_ = false;
        out_.clear();
        reader_.clear();
    }

    void connectNow()
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (const int e = getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found); e != 0) {
            linkDown(gai_strerror(e));
            return;
        }
        // Engines listen on IPv4: "localhost" means 127.0.0.1 to them.
        const addrinfo *use = found;
        for (const addrinfo *a = found; a; a = a->ai_next)
            if (a->ai_family == AF_INET) {
                use = a;
                break;
            }
        socket_ = ::socket(use->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const bool started =
            socket_ >= 0 &&
            (::connect(socket_, use->ai_addr, use->ai_addrlen) == 0 || errno == EINPROGRESS);
        freeaddrinfo(found);
        if (!started) {
            linkDown(std::strerror(errno));
            return;
        }
        connecting_ = true;
    }

    void serviceLink(short events)
    {
        if (connecting_) {
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0) {
                linkDown(std::strerror(error));
                return;
            }
            if (!(events & (POLLOUT | POLLIN)))
                return;
            connecting_ = false;
            // Raw frames, monitor texts (which bring our own transmissions
            // back), then the port list: its answer shows the first two are
            // in force.
            for (const char kind : {'k', 'm', 'G'})
                send(agw::encode({0, kind, 0, {}, {}, {}}));
        }
        if (events & POLLIN) {
            char buffer[8192];
            const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    linkDown(n == 0 ? "it closed the link" : std::strerror(errno));
                return;
            }
            reader_.append(buffer, static_cast<std::size_t>(n));
            while (socket_ >= 0) {
                const auto frame = reader_.next();
                if (!frame)
                    break;
                engineFrame(*frame);
            }
            if (reader_.lost()) {
                linkDown("it sent a frame longer than any engine sends");
                return;
            }
        } else if (events & (POLLERR | POLLHUP)) {
            linkDown("the link failed");
            return;
        }
        flush();
    }

    void send(const std::string &bytes)
    {
        out_ += bytes;
        flush();
    }

    void flush()
    {
        while (socket_ >= 0 && !connecting_ && !out_.empty()) {
            const ssize_t n = ::send(socket_, out_.data(), out_.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno != EAGAIN && errno != EINTR)
                    linkDown(std::strerror(errno));
                return;
            }
            out_.erase(0, static_cast<std::size_t>(n));
        }
    }

    void engineFrame(const agw::Frame &frame)
    {
        if (!active_) {
            active_ = true;
            downReported_ = false;
            std::fprintf(stderr, "zeno-host: connected to the engine at %s\n", where().c_str());
            store(mailbox_, "Status", "String", kActive);
        }
        if (frame.kind == 'G') {
            std::fprintf(stderr, "zeno-host: engine ports: %s\n",
                         zenohost::escape(frame.data.substr(0, frame.data.find('\0'))).c_str());
        } else if (frame.kind == 'T') {
            std::string text = frame.data.substr(0, frame.data.find('\0'));
            while (!text.empty() && text.back() == '\r')
                text.pop_back();
            printLine("SENT " + zenohost::escape(text));
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
            if (received_.size() == kRxBacklog) {
                std::fputs("zeno-host: frames come faster than the gateway takes them; the "
                           "oldest waiting one is dropped\n",
                           stderr);
                received_.pop_front();
            }
            received_.push_back(
                agw::monitorText(frame.port + 1, *ui, local.tm_hour, local.tm_min, local.tm_sec));
        }
    }

    void storeDueFrame()
    {
        const auto now = Clock::now();
        if (received_.empty() || now < nextStoreAt_)
            return;
        store(mailbox_, "RXData", "String", received_.front());
        printLine("RX " + zenohost::escape(received_.front()));
        received_.pop_front();
        nextStoreAt_ = now + std::chrono::milliseconds(kRxGapMs);
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
        report(mailbox_, "Command");
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
            if (frame && active_)
                send(*frame);
            else
                std::fprintf(stderr, "zeno-host: TXDATA not sent: %s\n", why.c_str());
        }
    }

    DirectoryStore &mailbox_;
    const std::string host_, port_;
    CommandWatch watch_;
    int socket_ = -1;
    bool connecting_ = false;
    bool active_ = false;       // the engine has answered on this link
    bool downReported_ = false; // said once per outage
    Clock::time_point retryAt_{};
    std::string out_;
    agw::Reader reader_;
    std::deque<std::string> received_;
    Clock::time_point nextStoreAt_{};
    int rxPort_ = -1; // every port
    int txPort_ = 0;
    std::string to_, via_;
};
#endif

int agwHost(DirectoryStore &mailbox, const std::string &address)
{
#ifdef __linux__
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size())
        return usage();
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

} // namespace

bool wholeNumber(const std::string &text)
{
    return !text.empty() && text.size() < 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int main(int argc, char *argv[])
{
    std::string folder;
    std::string command;
    Args args;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--loop") {
            args.loop = true;
        } else if (!optionsEnded && arg.rfind("--", 0) == 0) {
            if (i + 1 >= argc)
                return usage();
            if (arg == "--mailbox")
                folder = argv[++i];
            else
                args.options.emplace_back(arg, argv[++i]);
        } else if (command.empty()) {
            command = arg;
        } else {
            args.words.push_back(arg);
        }
    }
    // Each command takes its own options and no others.
    const auto takes = [&args](std::initializer_list<const char *> known) {
        for (const auto &o : args.options)
            if (std::none_of(known.begin(), known.end(),
                             [&o](const char *k) { return o.first == k; }))
                return false;
        return true;
    };
    if (args.loop && command != "replay")
        return usage();
    if (command == "init" ? !takes({"--call", "--path", "--beacon"})
        : command == "replay"
            ? !takes({"--every"}) || (args.has("--every") && !wholeNumber(args.option("--every")))
            : !takes({}))
        return usage();

    DirectoryStore mailbox(DirectoryStore::defaultFolder(folder));
    const auto &w = args.words;
    if (command == "init" && w.empty())
        return init(mailbox, args);
    if (command == "rx" && w.size() == 1)
        return store(mailbox, "RXData", "String", zenohost::unescape(w[0])) ? 0 : 1;
    if (command == "status" && w.size() == 1)
        return store(mailbox, "Status", "String", zenohost::unescape(w[0])) ? 0 : 1;
    if (command == "set" && w.size() == 3)
        return store(mailbox, w[0], w[1], zenohost::unescape(w[2])) ? 0 : 1;
    if (command == "get" && (w.size() == 1 || w.size() == 2)) {
        const auto v = mailbox.get(kCurrentUser, keyPath(w[0]), w.size() == 2 ? w[1] : "String");
        if (!v)
            return 1;
        std::fwrite(v->data(), 1, v->size(), stdout);
        return 0;
    }
    if (command == "replay")
        return replay(mailbox, args);
    if (command == "watch" && w.empty())
        return watch(mailbox);
    if (command == "agw" && w.size() == 1)
        return agwHost(mailbox, w[0]);
    return usage();
}
