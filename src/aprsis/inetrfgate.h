#pragma once

#include <QString>

namespace kestrel {

class ActivityLog;
class Announcer;
class AprsIsLink;
class Clock;
class HostMailbox;
class RefusalCounts;
class Settings;
class StateTexts;
class TextList;

// Puts chosen APRS-IS traffic back on the air through the host, in the
// form for traffic relayed on behalf of another station (":}" and the
// received line), under a packets-per-minute limit. Owns the link's
// one-second clock: the rate window, the status line and the countdown to
// the next announcement.
class InetToRfGate
{
public:
    InetToRfGate(const Settings &settings, StateTexts &texts, RefusalCounts &refusals,
                 ActivityLog &log, Clock &clock, const TextList &mheardList, HostMailbox &mailbox,
                 const AprsIsLink &link, Announcer &announcer);

    enum class Outcome
    {
        GoOn,
        TypeRejected
    };
    // One line from APRS-IS; `dataType` is the character after its first
    // ":" (its first character when it has none).
    Outcome gate(const QString &chunk, QChar dataType);

    // Timer2, every second while the link runs.
    void clockTick();

    qint16 secondsIntoMinute() const { return secondsIntoMinute_; }
    qint16 packetsThisMinute() const { return packetsThisMinute_; }

private:
    bool loopsBack(const QString &chunk) const;
    void tick(int &stage);
    const Settings &settings_;
    StateTexts &texts_;
    RefusalCounts &refusals_;
    ActivityLog &log_;
    Clock &clock_;
    const TextList &mheardList_;
    HostMailbox &mailbox_;
    const AprsIsLink &link_;
    Announcer &announcer_;
    qint16 secondsIntoMinute_ = 0; // the current rate window
    qint16 packetsThisMinute_ = 0; // counted against the limit in it
};

} // namespace kestrel
