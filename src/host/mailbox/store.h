#pragma once

#include <memory>
#include <optional>
#include <string>

namespace kestrel::mailbox {

// The host mailbox as the gateway and the host share it: text values under
// (root, key, name), exchanged byte for byte. Implementations: the Windows
// registry, or a folder tree where there is no registry.
class Store
{
public:
    virtual ~Store() = default;

    // The value's bytes (in the registry, those before its first NUL, as
    // every reader of a registry string sees it), or nothing when the key or
    // the value is missing or unreadable.
    virtual std::optional<std::string> get(const std::string &root, const std::string &key,
                                           const std::string &name) const = 0;

    // Stores the bytes exactly, creating missing keys. False when nothing was
    // stored; a reader never sees a half-written value either way.
    virtual bool set(const std::string &root, const std::string &key, const std::string &name,
                     const std::string &value) = 0;

    // Why nothing can be read at all just now (the mailbox itself is gone),
    // or an empty text.
    virtual std::string problem() const { return {}; }
};

inline constexpr const char *kCurrentUser = "HKEY_CURRENT_USER";

// The mailbox the host shares: on Windows its registry, unless a folder is
// named (--mailbox DIR); elsewhere the folder named, $ZENO_MAILBOX, or
// ~/.zeno/registry.
std::unique_ptr<Store> hostStore(const std::string &folderFromCommandLine);

// A value as the registry hands it out: everything before the first NUL.
std::string cutAtNul(std::string value);

} // namespace kestrel::mailbox
