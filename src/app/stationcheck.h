#pragma once

#include "core/programfolder.h"
#include "host/mailbox/store.h"

#include <cstdio>

namespace kestrel {

// kestrel --check: the program folder, kestrel.ini line by line and the host
// mailbox as start-up would find them, with every problem said. Returns the
// exit status: 0 when nothing is wrong, 1 otherwise.
int checkStation(const ProgramFolder &folder, const mailbox::Store &store, std::FILE *out);

} // namespace kestrel
