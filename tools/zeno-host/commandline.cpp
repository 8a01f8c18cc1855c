#include "commandline.h"

#include <cstdio>

namespace zenohost {

const char *const kUsage =
    "Usage: zeno-host [--mailbox DIR] COMMAND ...\n"
    "\n"
    "  init --call CALL --path DIR [--beacon TEXT] [--force]\n"
    "                 set MyCall and Path, write DIR/Zeno.ini, status \"Zeno Server Active!\";\n"
    "                 an existing Zeno.ini is kept, and replaced with --beacon only\n"
    "                 when --force is given too\n"
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
    "~/.zeno/registry. --version prints the version.\n";

std::optional<int> wholeNumber(const std::string &text)
{
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

int usage(const std::string &why)
{
    std::fprintf(stderr, "zeno-host: %s\n\n%s", why.c_str(), kUsage);
    return 2;
}

std::string Args::option(const std::string &name, const std::string &otherwise) const
{
    for (const auto &[n, v] : options)
        if (n == name)
            return v;
    return otherwise;
}

bool Args::has(const std::string &name) const
{
    for (const auto &o : options)
        if (o.first == name)
            return true;
    return false;
}

} // namespace zenohost
