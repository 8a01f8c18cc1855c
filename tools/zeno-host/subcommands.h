#pragma once

// The commands that set or read the mailbox once and end: each returns the
// program's exit status.

#include "commandline.h"
#include "hostvalues.h"

#include <string>

namespace zenohost {

// init --call CALL --path DIR [--beacon TEXT]
int init(DirectoryStore &mailbox, const Args &args);
// rx, status and set: a value from an escaped text.
int setValue(DirectoryStore &mailbox, const std::string &key, const std::string &name,
             const std::string &text);
// get KEY [NAME]: the value's bytes as they are.
int get(const DirectoryStore &mailbox, const std::string &key, const std::string &name);
// replay FILE [--every MS] [--loop]
int replay(DirectoryStore &mailbox, const Args &args);

} // namespace zenohost
