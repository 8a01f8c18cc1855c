// zeno-host: the host program's side of the mailbox, for tests, the demo and
// stations without the host. It writes what the host writes (call sign,
// folder, state, received frames) and shows what the gateway commands.

#include "core/mailbox/directorystore.h"
#include "escape.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/inotify.h>
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
    "and any byte. The mailbox folder is --mailbox, else $ZENO_MAILBOX, else\n"
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

int watch(DirectoryStore &mailbox)
{
#ifdef __linux__
    const fs::path folder =
        mailbox.valuePath(kCurrentUser, kZeno + "Command", "Command").parent_path();
    std::error_code ec;
    fs::create_directories(folder, ec);
    const int fd = inotify_init1(IN_CLOEXEC);
    // Values are renamed into place; a plain write closes the file.
    if (fd < 0 || inotify_add_watch(fd, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
        std::fprintf(stderr, "zeno-host: cannot watch %s: %s\n", folder.string().c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "zeno-host: watching %s\n", folder.string().c_str());
    std::fflush(stderr);
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW)
                std::fprintf(stderr, "zeno-host: too many changes at once; some were missed\n");
            if (event->len == 0 || event->name[0] == '.')
                continue;
            report(mailbox, event->name);
        }
    }
#else
    (void)mailbox;
    std::fputs("zeno-host: watch needs Linux\n", stderr);
    return 1;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    std::string folder;
    std::string command;
    Args args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--loop") {
            args.loop = true;
        } else if (arg.rfind("--", 0) == 0) {
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
