#include "host/mailbox/registrystore.h"

#ifdef _WIN32
#include <vector>
#include <windows.h>

namespace kestrel::mailbox {

namespace {
HKEY rootKey(const std::string &root)
{
    return root == kCurrentUser ? HKEY_CURRENT_USER : nullptr;
}
} // namespace

std::optional<std::string> RegistryStore::get(const std::string &root, const std::string &key,
                                              const std::string &name) const
{
    HKEY base = rootKey(root);
    HKEY handle = nullptr;
    if (!base || RegOpenKeyExA(base, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::string> result;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::vector<char> buffer(size + 1, '\0');
        if (RegQueryValueExA(handle, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE *>(buffer.data()), &size) == ERROR_SUCCESS)
            result = cutAtNul(std::string(buffer.data(), size));
    }
    RegCloseKey(handle);
    return result;
}

bool RegistryStore::set(const std::string &root, const std::string &key, const std::string &name,
                        const std::string &value)
{
    HKEY base = rootKey(root);
    HKEY handle = nullptr;
    if (!base || RegCreateKeyExA(base, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                                 nullptr) != ERROR_SUCCESS)
        return false;
    // No terminating zero: the data length is the number of characters.
    // The registry counts a zero that follows a string's data as part of it
    // (Windows NT always has), so the text goes in from a copy followed by a
    // byte that is not zero.
    std::vector<char> data(value.begin(), value.end());
    data.push_back('\x01');
    const bool ok =
        RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(data.data()),
                       static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

} // namespace kestrel::mailbox
#endif
