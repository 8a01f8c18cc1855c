// Built for Windows only: the registry store with the standard library and
// the Win32 API alone, checked against the registry itself (under Wine here).
#include "host/mailbox/registrystore.h"

#include <cstdio>
#include <windows.h>

using kestrel::mailbox::kCurrentUser;
using kestrel::mailbox::RegistryStore;

namespace {
int failures = 0;

void check(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    failures += ok ? 0 : 1;
}

// The value's type and stored length as the registry holds them (in UTF-16
// units of two bytes: the "A" calls report converted lengths).
bool stored(const wchar_t *key, const wchar_t *name, DWORD &type, DWORD &size)
{
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
        return false;
    const bool ok = RegQueryValueExW(h, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
}
} // namespace

int main()
{
    RegistryStore store;
    const char *key = "Software\\ZenoTest\\TXData";

    // Five characters are five bytes: no terminating zero is stored.
    check(store.set(kCurrentUser, key, "String", "ABCDE"), "set creates the missing keys");
    DWORD type = 0, size = 0;
    const bool found = stored(L"Software\\ZenoTest\\TXData", L"String", type, size);
    check(found && type == REG_SZ && size == 5 * sizeof(wchar_t),
          "five characters stored as five characters of REG_SZ, no terminator");
    HKEY h = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\ZenoTest\\TXData", 0, KEY_QUERY_VALUE, &h);
    wchar_t exact[5] = {};
    DWORD exactSize = sizeof exact;
    check(RegQueryValueExW(h, L"String", nullptr, &type, reinterpret_cast<BYTE *>(exact),
                           &exactSize) == ERROR_SUCCESS &&
              exactSize == sizeof exact && exact[4] == L'E',
          "read back into a buffer without room for a terminator");
    RegCloseKey(h);
    RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &h);
    char roomy[16] = {};
    DWORD roomySize = sizeof roomy;
    check(RegQueryValueExA(h, "String", nullptr, &type, reinterpret_cast<BYTE *>(roomy),
                           &roomySize) == ERROR_SUCCESS &&
              std::string(roomy) == "ABCDE",
          "read back into a buffer with room for a terminator");
    const DWORD number = 7;
    RegCloseKey(h);
    RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &h);
    RegSetValueExA(h, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number),
                   sizeof number);
    RegCloseKey(h);

    const auto value = store.get(kCurrentUser, key, "String");
    check(value && *value == "ABCDE", "the store reads its own text back");
    check(store.set(kCurrentUser, key, "String", "") && store.get(kCurrentUser, key, "String") &&
              store.get(kCurrentUser, key, "String")->empty(),
          "an empty text stores zero bytes and reads as empty");
    check(!store.get(kCurrentUser, "Software\\ZenoTest\\Missing", "String"),
          "a missing key reads as nothing");
    check(!store.get(kCurrentUser, key, "Absent"), "a missing value reads as nothing");
    check(!store.get(kCurrentUser, key, "Number"), "a value of another type reads as nothing");
    check(!store.get("HKEY_SOMEWHERE", key, "String"), "an unknown root reads as nothing");

    check(dynamic_cast<RegistryStore *>(kestrel::mailbox::hostStore("").get()) != nullptr,
          "the program's mailbox is the registry unless a folder is named");

    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\ZenoTest");
    return failures == 0 ? 0 : 1;
}
