#pragma once

#include <QString>

namespace kestrel::aprsis {

// The APRS-IS passcode of a call sign, its SSID aside, as the servers
// compute it.
inline int passcode(const QString &call)
{
    const QByteArray c = call.section(u'-', 0, 0).toUpper().toLatin1();
    int hash = 0x73e2;
    for (qsizetype i = 0; i < c.size(); i += 2) {
        hash ^= static_cast<unsigned char>(c[i]) << 8;
        if (i + 1 < c.size())
            hash ^= static_cast<unsigned char>(c[i + 1]);
    }
    return hash & 0x7fff;
}

} // namespace kestrel::aprsis
