#pragma once

#include "hostvalues.h"

#include <string>

namespace zenohost {

// zeno-host agw HOST:PORT: the host for the TNC engine at that address until
// SIGINT, SIGTERM or SIGHUP; its exit status.
int agwHost(DirectoryStore &mailbox, const std::string &address);

} // namespace zenohost
