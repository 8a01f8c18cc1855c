#pragma once

#include <QDateTime>

namespace kestrel {

// The one source of the current local time. Tests set it; nothing else in
// the program reads the system clock.
class Clock
{
public:
    QDateTime now() const;

    // From now on the clock reads `t` (plus whatever advance() adds).
    void set(const QDateTime &t);
    void advance(qint64 seconds);
    // Back to the system's local time.
    void release();

private:
    QDateTime fixed_;
};

} // namespace kestrel
