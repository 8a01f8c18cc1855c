#pragma once

// What zeno-host shows on standard output: one line per command, frame sent
// or frame stored, each flushed at once for whoever reads along.

#include "hostvalues.h"

#include <string>

namespace zenohost {

void printLine(const std::string &line);

// One command or announcement, as the host reads it when it sees it; `name`
// is the Command value that changed, and names other than "Command" and
// "Application" print nothing.
void reportCommand(const DirectoryStore &mailbox, const std::string &name);

} // namespace zenohost
