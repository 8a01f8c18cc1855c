#pragma once

#include "aprs/issobject.h"
#include "core/timerswitch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace kestrel {

class ActivityLog;
class Clock;
class HostMailbox;
class ProgramFolder;
class Satellites;
class Settings;
class StateTexts;
struct Services;

// The ISS frame's timers, named as the station names them.
struct IssTimers
{
    QTimer &Timer14; // the run once a minute, while the ISS object is on
    QTimer &Timer15; // the lamp blinking while the ISS is above the horizon
    QTimer &Timer16; // the progress bar toward the next run
};

// Puts the ISS on the air as an object: fetches the look-up page without
// blocking anything else, keeps it as ISS.txt, shows where the ISS is from
// the station and hands the object to the host. The services' iss_source
// may have the position computed from the ISS's elements instead, or when
// the look-up fails.
class IssRoutine : public QObject
{
    Q_OBJECT
public:
    IssRoutine(const Settings &settings, StateTexts &texts, ActivityLog &log, Clock &clock,
               const ProgramFolder &folder, const Services &services, HostMailbox &mailbox,
               const Satellites &satellites, IssTimers timers);

    // The ISS object switched on or off in the settings.
    void switched(bool on);
    // The setup dialog's OK: the once-a-minute run and the caption follow
    // the setting.
    void confirmed(bool on);
    // Start-up: the bar full.
    void resetProgress() { setProgress(1); }
    void lampTick();     // Timer15
    void progressTick(); // Timer16

    // The ISS frame's progress bar and lamp.
    double progress() const { return progress_; }
    bool barVisible() const { return barVisible_; }
    bool lampVisible() const { return lampVisible_; }
    // The ISS at or above the station's horizon at the last run.
    bool above() const { return above_; }

    // Starts a run; one asked for while a fetch is under way is dropped.
    void run();
    bool running() const { return reply_ != nullptr; }

    // A page longer than this is no look-up page.
    static constexpr qint64 kMaxPage = 1 << 20;
    static constexpr int kTimeoutMs = 20000;
    // A service that moves its page is followed this far, and only on its
    // own host: from http to https, never back.
    static constexpr int kMaxRedirects = 3;
    static bool followsRedirect(const QUrl &from, const QUrl &to);

    // The ISS's last elevation seen from the station.
    qint16 elevation() const { return elevation_; }

signals:
    void progressChanged(double width);
    void barVisibleChanged(bool visible);
    void lampVisibleChanged(bool visible);
    void aboveChanged(bool above);

private:
    void setProgress(double width);
    void setBarVisible(bool visible);
    void setLampVisible(bool visible);
    void setAbove(bool above);
    void ask();
    void arrived();
    void finish(const QByteArray &page);
    // The look-up gave no position: with iss_source=both, the elements.
    void lookupFailed(const QString &reason);
    void fromElements(const QString &lookupFailure);
    // The object from a position, with the station's view of it.
    void show(const position::Text &fix, std::optional<int> azimuth, std::optional<int> elevation);
    void fail(const QString &reason);
    void restoreCaption();
    void showElevation(std::optional<int> elevation);

    const Settings &settings_;
    StateTexts &texts_;
    ActivityLog &log_;
    Clock &clock_;
    const ProgramFolder &folder_;
    const Services &services_;
    HostMailbox &mailbox_;
    const Satellites &satellites_;
    IssTimers timers_;
    double progress_ = 1;
    bool barVisible_ = false;
    bool lampVisible_ = false;
    bool above_ = false;
    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QByteArray page_;
    QTimer deadline_;
    bool timedOut_ = false;
    bool tooLong_ = false;
    QUrl at_;           // where the page is being asked for now
    int redirects_ = 0; // followed in this run
    // The run began in the once-a-minute mode: if that is off when the page
    // comes, the operator no longer wants the object on the air.
    bool modeRun_ = false;
    qint16 elevation_ = 0;
    int azimuth_ = 0; // kept when the ISS stands exactly over the station
    QString lastFailure_;
};

} // namespace kestrel
