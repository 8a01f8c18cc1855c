#include "app/commandline.h"

#include <QHostAddress>

namespace kestrel {

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine cl;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = arg.indexOf(u'='); arg.startsWith(QLatin1String("--")) && eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasValue = true;
        }
        const auto takeValue = [&](QString &into, const QString &what) {
            if (!hasValue) {
                if (i + 1 >= arguments.size()) {
                    cl.error = arg + QStringLiteral(" needs ") + what;
                    return;
                }
                value = arguments[++i];
            }
            if (value.isEmpty())
                cl.error = arg + QStringLiteral(" needs ") + what;
            into = value;
        };
        const QString folder = QStringLiteral("a folder");
        const auto flag = [&](bool &into) {
            if (hasValue)
                cl.error = arg + QStringLiteral(" takes no value");
            into = true;
        };
        if (arg == QLatin1String("--headless"))
            flag(cl.headless);
        else if (arg == QLatin1String("--connect"))
            flag(cl.connect);
        else if (arg == QLatin1String("--list-all"))
            flag(cl.listAll);
        else if (arg == QLatin1String("--version"))
            flag(cl.version);
        else if (arg == QLatin1String("--check"))
            flag(cl.check);
        else if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            flag(cl.help);
        else if (arg == QLatin1String("--program-dir"))
            takeValue(cl.programDir, folder);
        else if (arg == QLatin1String("--new-program-dir"))
            takeValue(cl.newProgramDir, folder);
        else if (arg == QLatin1String("--mailbox"))
            takeValue(cl.mailbox, folder);
        else if (arg == QLatin1String("--web-address"))
            takeValue(cl.webAddress, QStringLiteral("an address"));
        else
            cl.error = QStringLiteral("unknown argument: ") + arguments[i];
        if (!cl.error.isEmpty())
            break;
    }
    if (cl.error.isEmpty() && !cl.webAddress.isEmpty() && QHostAddress(cl.webAddress).isNull())
        cl.error = QStringLiteral("--web-address needs an IP address: ") + cl.webAddress;
    if (cl.error.isEmpty() && cl.listAll && !cl.headless)
        cl.error = QStringLiteral("--list-all goes with --headless (the window has its own box)");
    return cl;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: kestrel [--headless] [--program-dir DIR] [--mailbox DIR] [--connect]\n"
        "               [--list-all] [--web-address ADDR] [--version] [--help]\n"
        "       kestrel --check [--program-dir DIR] [--mailbox DIR]\n"
        "       kestrel --new-program-dir DIR\n"
        "\n"
        "APRS Internet gateway beside the Zeno packet terminal.\n"
        "\n"
        "  --headless         run without windows; what the window would show goes to\n"
        "                     standard output, one line per change\n"
        "  --program-dir DIR  the folder with kestrel.ini, Web and Logs_Kestrel\n"
        "                     (default: the folder of the program)\n"
        "  --mailbox DIR      the host mailbox store (default: $ZENO_MAILBOX, else\n"
        "                     ~/.zeno/registry)\n"
        "  --connect          connect to APRS-IS right after start-up\n"
        "  --list-all         headless: list all packets received from APRS-IS\n"
        "  --web-address ADDR the status page listens on this address only\n"
        "                     (default: every interface)\n"
        "  --check            print each setting of kestrel.ini with the line it is read\n"
        "                     from, and every problem of the program folder, the\n"
        "                     settings and the mailbox; status 1 when there is one\n"
        "  --new-program-dir DIR\n"
        "                     make a program folder with safe settings (nothing to RF,\n"
        "                     nothing announced) and say what to fill in; an existing\n"
        "                     folder is left alone\n"
        "  --version          print the version and end\n"
        "  --help             print this text and end\n"
        "\n"
        "SIGINT, SIGTERM and SIGHUP end the program as closing the window does (lists\n"
        "saved). SIGUSR1 asks for the ISS position now.\n");
}

} // namespace kestrel
