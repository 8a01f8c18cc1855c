#pragma once

#include <QList>
#include <QString>

namespace kestrel {

class AprsIsLink;
class Settings;
class StateTexts;
class TextList;

// One announcement line: its information field, and by how much it raises
// the "Inet Tx" count (the status line counts only with "Add DX").
struct AnnouncementLine
{
    QString information;
    int inetTx = 0;
};

// What an announcement sends, in order: the position beacon (only with a
// beacon text of the station's own), the status with the DX record when
// asked for, and the bulletin.
QList<AnnouncementLine> announcementLines(const Settings &settings, const QString &dx);

// The station's own beacon, status and bulletin on APRS-IS, every Interval
// seconds of the link's clock; the first ten seconds after the login.
class Announcer
{
public:
    Announcer(const Settings &settings, StateTexts &texts, TextList &internetList,
              AprsIsLink &link);

    // At the login: the first announcement falls due ten ticks later.
    void restartCountdown();
    // One second of the link's clock.
    void countSecond();
    // Announces when the countdown has reached the interval.
    void announceIfDue();
    // Sends the announcement now (nothing before the login).
    void announce();

    qint32 secondsToAnnouncement() const { return secondsToAnnouncement_; }

private:
    const Settings &settings_;
    StateTexts &texts_;
    TextList &internetList_;
    AprsIsLink &link_;
    qint32 secondsToAnnouncement_ = 0;
};

} // namespace kestrel
