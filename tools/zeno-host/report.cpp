#include "report.h"

#include "escape.h"

#include <cstdio>

namespace zenohost {

void printLine(const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void reportCommand(const DirectoryStore &mailbox, const std::string &name)
{
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

} // namespace zenohost
