#pragma once

#include <QString>
#include <cstdio>

namespace kestrel {

// kestrel --new-program-dir DIR: a program folder that starts, with safe
// settings (nothing sent to RF or announced until the operator says so) and
// the places the operator must fill marked. Never touches a folder that
// exists. Returns the exit status.
int newProgramDir(const QString &path, std::FILE *out);

} // namespace kestrel
