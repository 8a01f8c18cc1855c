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

    // Takes the system's time zone as it is now for the rest of the run
    // (unless TZ names one): called first thing by the program.
    static void readSystemZoneOnce();

private:
    QDateTime fixed_;
};

} // namespace kestrel
