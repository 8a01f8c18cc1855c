#pragma once

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

// A broken promise: says which, with the input, and stops the fuzzer there.
[[noreturn]] inline void fuzzFail(const char *target, const char *what, const QByteArray &input)
{
    std::fprintf(stderr, "%s: %s\n  input: %s\n", target, what,
                 input.toPercentEncoding().constData());
    std::abort();
}
