#include "host/mailbox/store.h"

#include "host/mailbox/directorystore.h"
#include "host/mailbox/registrystore.h"

namespace kestrel::mailbox {

std::string cutAtNul(std::string value)
{
    const auto nul = value.find('\0');
    if (nul != std::string::npos)
        value.resize(nul);
    return value;
}

std::unique_ptr<Store> hostStore(const std::string &folderFromCommandLine)
{
#ifdef _WIN32
    if (folderFromCommandLine.empty())
        return std::make_unique<RegistryStore>();
#endif
    return std::make_unique<DirectoryStore>(DirectoryStore::defaultFolder(folderFromCommandLine));
}

} // namespace kestrel::mailbox
