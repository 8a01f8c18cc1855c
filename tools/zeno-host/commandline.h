#pragma once

// What zeno-host's command line gives a command, and the usage text.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zenohost {

extern const char *const kUsage;

// What was wrong and the usage, on standard error; returns the exit status
// of a bad command line.
int usage(const std::string &why);

// A whole number written with digits only (at most nine), or nothing.
std::optional<int> wholeNumber(const std::string &text);

// Options after the command word: "--name value" pairs and plain words.
struct Args
{
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::string>> options;
    bool loop = false;
    bool force = false;

    std::string option(const std::string &name, const std::string &otherwise = {}) const;
    bool has(const std::string &name) const;
};

} // namespace zenohost
