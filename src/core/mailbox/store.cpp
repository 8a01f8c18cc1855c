#include "core/mailbox/store.h"

namespace kestrel::mailbox {

std::string cutAtNul(std::string value)
{
    const auto nul = value.find('\0');
    if (nul != std::string::npos)
        value.resize(nul);
    return value;
}

} // namespace kestrel::mailbox
