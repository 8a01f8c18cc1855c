// zeno-host: the host program's side of the mailbox, for tests, the demo and
// stations without the host. It writes what the host writes (call sign,
// folder, state, received frames) and shows what the gateway commands; with
// "agw" it is the host for a TNC engine that speaks the AGWPE protocol.

#include "agwhost.h"
#include "commandline.h"
#include "subcommands.h"
#include "watch.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>

using namespace zenohost;

namespace {

bool wholeNumber(const std::string &text)
{
    return !text.empty() && text.size() < 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

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
        return setValue(mailbox, "RXData", "String", w[0]);
    if (command == "status" && w.size() == 1)
        return setValue(mailbox, "Status", "String", w[0]);
    if (command == "set" && w.size() == 3)
        return setValue(mailbox, w[0], w[1], w[2]);
    if (command == "get" && (w.size() == 1 || w.size() == 2))
        return get(mailbox, w[0], w.size() == 2 ? w[1] : "String");
    if (command == "replay")
        return replay(mailbox, args);
    if (command == "watch" && w.empty())
        return watch(mailbox);
    if (command == "agw" && w.size() == 1)
        return agwHost(mailbox, w[0]);
    return usage();
}
