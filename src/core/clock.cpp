#include "core/clock.h"

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

} // namespace kestrel
