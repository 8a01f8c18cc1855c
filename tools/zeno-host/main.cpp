// zeno-host: the host program's side of the mailbox, for tests, the demo and
// stations without the host. It writes what the host writes (call sign,
// folder, state, received frames) and shows what the gateway commands.

#include "core/mailbox/directorystore.h"
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
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using kestrel::mailbox::DirectoryStore;
using kestrel::mailbox::kCurrentUser;

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
    return usage();
}
