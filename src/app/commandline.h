#pragma once

#include <QString>
#include <QStringList>

namespace kestrel {

// What the command line asked for.
struct CommandLine
{
    bool headless = false;
    bool connect = false;
    bool listAll = false;
    bool version = false;
    bool help = false;
    bool check = false; // --check: say what start-up would find, and end
    QString programDir;
    QString newProgramDir; // --new-program-dir: lay out this folder, and end
    QString mailbox;
    QString webAddress; // empty: every interface
    QString error;      // not empty: the command line is bad

    static CommandLine parse(const QStringList &arguments);
    static QString usage();
};

} // namespace kestrel
