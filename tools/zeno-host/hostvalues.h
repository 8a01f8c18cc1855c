#pragma once

// The host's values in the mailbox, named as the host and the gateway name
// them: "RXData" for Software\Zeno\RXData.

#include "host/mailbox/directorystore.h"

#include <filesystem>
#include <string>

namespace zenohost {

using kestrel::mailbox::DirectoryStore;

inline const std::string kZeno = "Software\\Zeno\\";

// A key under Software\Zeno\ unless it names its own "Software\..." path.
std::string keyPath(const std::string &key);

// Stores a value; on failure says so on standard error.
bool store(DirectoryStore &mailbox, const std::string &key, const std::string &name,
           const std::string &value);

// A value, or nothing as the empty text.
std::string value(const DirectoryStore &mailbox, const std::string &key, const std::string &name);

// The folder the gateway writes its commands to.
std::filesystem::path commandFolder(const DirectoryStore &mailbox);

} // namespace zenohost
