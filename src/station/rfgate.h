#pragma once

#include <QString>

namespace kestrel {

class ActivityLog;
class AprsIsLink;
class Clock;
class RefusalCounts;
class Settings;
class StateTexts;
class TextList;
struct MonitorText;

// The lists the RF pass keeps.
struct RfLists
{
    TextList &mheard;
    TextList &positions;
    TextList &igated;
};

// The gateway's main job: each frame the host heard on RF is recorded in
// the MHeard list, shown by its position, and, when it passes the
// operator's filters and the link is up, sent to APRS-IS as a qAR line.
// Also the MHeard expiry and the DX text.
class RfGate
{
public:
    RfGate(const Settings &settings, StateTexts &texts, RefusalCounts &refusals, ActivityLog &log,
           Clock &clock, RfLists lists, AprsIsLink &link);

    // One new monitor text from the mailbox (Timer6); whether it was gated.
    bool pass(const QString &frame);
    // Drops stations not heard for MHExpTime hours (Timer7).
    void expiry();
    // The farthest station of the positions list.
    void recomputeDx();
    // The DX record starts again (start-up).
    void resetFarthest() { farthestKm_ = 0; }

    // An APRS-IS server drops longer lines, CR LF included.
    static constexpr qsizetype kMaxLine = 512;

private:
    void show(const MonitorText &m);
    void updateMHeard(const MonitorText &m, const QString &heardPath);
    bool gateable(const MonitorText &m);
    const Settings &settings_;
    StateTexts &texts_;
    RefusalCounts &refusals_;
    ActivityLog &log_;
    Clock &clock_;
    RfLists lists_;
    AprsIsLink &link_;
    double farthestKm_ = 0; // the largest distance accepted since start
};

} // namespace kestrel
