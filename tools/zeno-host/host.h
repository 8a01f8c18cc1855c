#pragma once

#include "commandline.h"
#include "hostvalues.h"

#include <string>

namespace zenohost {

// zeno-host agw HOST:PORT: the host for the TNC engine at that address until
// SIGINT, SIGTERM or SIGHUP; its exit status.
int agwHost(DirectoryStore &mailbox, const std::string &address);

// zeno-host kiss HOST:PORT or DEVICE [--baud N] [--txdelay N] [--persist N]
// [--slottime N]: the same for a KISS TNC.
int kissHost(DirectoryStore &mailbox, const std::string &where, const Args &args);

} // namespace zenohost
