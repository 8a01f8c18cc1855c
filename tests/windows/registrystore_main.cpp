// Built for Windows only, to prove the registry store compiles there on its
// own, with the standard library and the Win32 API alone.
#include "core/mailbox/registrystore.h"

#include <cstdio>

int main()
{
    kestrel::mailbox::RegistryStore store;
    const char *key = "Software\\Zeno\\TXData";
    store.set(kestrel::mailbox::kCurrentUser, key, "String", "ABCDE");
    const auto value = store.get(kestrel::mailbox::kCurrentUser, key, "String");
    std::printf("%s\n", value ? value->c_str() : "(none)");
    return value && *value == "ABCDE" ? 0 : 1;
}
