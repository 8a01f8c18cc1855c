#pragma once

#include <QTimer>

namespace kestrel::timerswitch {

// Switches a timer on, leaving one that already runs as it was: a switch,
// not a restart (QTimer::start() would restart it).
inline void enable(QTimer &timer)
{
    if (!timer.isActive())
        timer.start();
}

inline void disable(QTimer &timer)
{
    timer.stop();
}

} // namespace kestrel::timerswitch
