// zeno-host: the host program's side of the mailbox, for tests, the demo and
// stations without the host. It writes what the host writes (call sign,
// folder, state, received frames) and shows what the gateway commands; with
// "agw" and "kiss" it is the host for a TNC that speaks AGWPE or KISS.

#include "commandline.h"
#include "host.h"
#include "subcommands.h"
#include "watch.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

using namespace zenohost;

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
        if (!optionsEnded && arg == "--version") {
            std::printf("zeno-host %s\n", KESTREL_VERSION);
            return 0;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--loop") {
            args.loop = true;
        } else if (!optionsEnded && arg == "--force") {
            args.force = true;
        } else if (!optionsEnded && arg.rfind("--", 0) == 0) {
            if (i + 1 >= argc)
                return usage(arg + " needs a value");
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
    if (command.empty())
        return usage("no command given");
    // What each command takes: its own options and no others, and so many words.
    struct Shape
    {
        const char *command;
        std::vector<std::string> options;
        std::size_t least, most;
        const char *words;
    };
    const Shape shapes[] = {
        {"init", {"--call", "--path", "--beacon"}, 0, 0, "no words, only options"},
        {"rx", {}, 1, 1, "one TEXT"},
        {"status", {}, 1, 1, "one TEXT"},
        {"set", {}, 3, 3, "KEY NAME TEXT"},
        {"get", {}, 1, 2, "KEY and an optional NAME"},
        {"replay", {"--every"}, 1, 1, "one FILE"},
        {"watch", {}, 0, 0, "no words"},
        {"agw", {}, 1, 1, "one HOST:PORT"},
        {"kiss",
         {"--baud", "--txdelay", "--persist", "--slottime"},
         1,
         1,
         "one HOST:PORT or DEVICE"},
    };
    const auto shape = std::find_if(std::begin(shapes), std::end(shapes),
                                    [&command](const Shape &s) { return command == s.command; });
    if (shape == std::end(shapes))
        return usage("unknown command: " + command);
    for (const auto &o : args.options)
        if (std::find(shape->options.begin(), shape->options.end(), o.first) ==
            shape->options.end())
            return usage(o.first + " is no option of " + command);
    if (args.loop && command != "replay")
        return usage("--loop is an option of replay only");
    if (args.force && command != "init")
        return usage("--force is an option of init only");
    if (args.has("--every") && !wholeNumber(args.option("--every")))
        return usage("--every takes whole milliseconds, not \"" + args.option("--every") + "\"");

    const auto &w = args.words;
    if (w.size() < shape->least || w.size() > shape->most)
        return usage(command + " takes " + shape->words);

    DirectoryStore mailbox(DirectoryStore::defaultFolder(folder));
    if (command == "init")
        return init(mailbox, args);
    if (command == "rx")
        return setValue(mailbox, "RXData", "String", w[0]);
    if (command == "status")
        return setValue(mailbox, "Status", "String", w[0]);
    if (command == "set")
        return setValue(mailbox, w[0], w[1], w[2]);
    if (command == "get")
        return get(mailbox, w[0], w.size() == 2 ? w[1] : "String");
    if (command == "replay")
        return replay(mailbox, args);
    if (command == "watch")
        return watch(mailbox);
    if (command == "kiss")
        return kissHost(mailbox, w[0], args);
    return agwHost(mailbox, w[0]);
}
