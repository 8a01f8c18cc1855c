#include "hostvalues.h"

#include <cstdio>

namespace zenohost {

using kestrel::mailbox::kCurrentUser;

std::string keyPath(const std::string &key)
{
    return key.rfind("Software\\", 0) == 0 ? key : kZeno + key;
}

bool store(DirectoryStore &mailbox, const std::string &key, const std::string &name,
           const std::string &value)
{
    if (mailbox.set(kCurrentUser, keyPath(key), name, value))
        return true;
    std::fprintf(stderr, "zeno-host: could not store %s \"%s\" under %s\n", keyPath(key).c_str(),
                 name.c_str(), mailbox.folder().string().c_str());
    return false;
}

std::string value(const DirectoryStore &mailbox, const std::string &key, const std::string &name)
{
    return mailbox.get(kCurrentUser, keyPath(key), name).value_or("");
}

std::filesystem::path commandFolder(const DirectoryStore &mailbox)
{
    return mailbox.valuePath(kCurrentUser, kZeno + "Command", "Command").parent_path();
}

} // namespace zenohost
