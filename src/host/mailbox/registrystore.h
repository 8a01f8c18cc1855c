#pragma once

#include "host/mailbox/store.h"

namespace kestrel::mailbox {

#ifdef _WIN32
// The host mailbox in the Windows registry: REG_SZ values under the current
// user, stored without a terminating zero.
class RegistryStore : public Store
{
public:
    std::optional<std::string> get(const std::string &root, const std::string &key,
                                   const std::string &name) const override;
    bool set(const std::string &root, const std::string &key, const std::string &name,
             const std::string &value) override;
};
#endif

} // namespace kestrel::mailbox
