#pragma once

#include <QByteArray>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

// A broken promise: says which, with the input, and stops the fuzzer there.
[[noreturn]] inline void fail(const char *what, const QByteArray &input)
{
    std::fprintf(stderr, "%s: %s\n  input: %s\n", program_invocation_short_name, what,
                 input.toPercentEncoding().constData());
    std::abort();
}
