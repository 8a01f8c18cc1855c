#include "core/clock.h"

#include <QFileInfo>

namespace kestrel {

QDateTime Clock::now() const
{
    return fixed_.isValid() ? fixed_ : QDateTime::currentDateTime();
}

void Clock::set(const QDateTime &t)
{
    fixed_ = t;
}

void Clock::advance(qint64 seconds)
{
    fixed_ = now().addSecs(seconds);
}

void Clock::release()
{
    fixed_ = {};
}

void Clock::readSystemZoneOnce()
{
#ifdef Q_OS_UNIX
    // Without TZ the C library looks at /etc/localtime again for every local
    // time it gives, and a log line or a page asks for several.
    if (qEnvironmentVariableIsEmpty("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
#endif
}

} // namespace kestrel
