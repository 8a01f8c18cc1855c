#pragma once

#include <string>

namespace zenohost {

// "\r", "\n", "\\" and "\xHH" in a command-line text or replay line stand for
// a carriage return, a line feed, a backslash and any byte. Anything else
// after a backslash is kept as written.
std::string unescape(const std::string &text);

// The reverse, for printing: bytes that are not printable ASCII are shown
// with the same escapes, so one value is one line.
std::string escape(const std::string &bytes);

} // namespace zenohost
