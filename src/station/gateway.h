#pragma once

#include "aprsis/announcer.h"
#include "aprsis/inetrfgate.h"
#include "aprsis/link.h"
#include "aprsis/messages.h"
#include "aprsis/receivepath.h"
#include "core/activitylog.h"
#include "core/clock.h"
#include "core/programfolder.h"
#include "core/refusal.h"
#include "core/services.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/textlist.h"
#include "core/timerswitch.h"
#include "host/hostmailbox.h"
#include "station/issroutine.h"
#include "station/rfgate.h"
#include "station/satellites.h"
#include "web/webserver.h"

#include <QObject>
#include <QTimer>
#include <vector>

namespace kestrel {

// The station: composes the subsystems, owns the shared state for the whole
// run and the timers that drive every other piece of work, starts up, and
// ends. Windows only observe it; headless, the same gateway runs without
// them.
//
// Every timer tick is a plain method that can be called directly; the QTimer
// only calls it. A one-shot timer switches itself off first thing in its tick.
class Gateway : public QObject
{
    Q_OBJECT
public:
    Gateway(const ProgramFolder &folder, mailbox::Store &store, Clock &clock,
            QObject *parent = nullptr);

    enum class StartOutcome
    {
        Started,
        Fatal,  // a required folder or file is missing: Timer12 reports and ends the program
        Stopped // start-up broke off on another failure; the program keeps running
    };
    // Start-up, once: the timers that run from the start, then the folders,
    // lists, settings and the host.
    StartOutcome start();
    bool startedUp() const { return started_; }

    // The ways out.
    void closeMainWindow(); // saves the MHeard and positions lists
    void exitCommand();     // writes estaciones.txt and saves nothing else

    // Writes kestrel.ini whole from the settings record (the setup dialog's
    // OK). A failure is reported; the old file stays whole.
    bool writeSettingsFile();
    // The setup dialog's OK: the file written, then the host and the ISS
    // frame told what changed.
    bool confirmSettings();

    // Operator commands.
    void connectCommand();
    void setListAllPackets(bool on);
    bool listAllPackets() const { return receivePath_.listAllPackets(); }
    void issRoutine() { iss_.run(); }

    // Polls the host's state; ends the program when the host has gone and
    // the operator asked for that.
    void checkStatus();

    // Timer ticks.
    void timer1Tick();
    void timer2Tick();
    void timer4Tick();
    void timer5Tick();
    void timer6Tick();
    void timer7Tick();
    void timer8Tick();
    void timer9Tick();
    void timer10Tick();
    void timer12Tick();
    void timer14Tick();
    void timer15Tick();
    void timer16Tick();

    // A timer by its name ("Timer6"), for the tests and the windows.
    QTimer &timer(const QString &name);

    // What the windows and the tests are given.
    const ProgramFolder &folder() const { return folder_; }
    Clock &clock() { return clock_; }
    ActivityLog &log() { return log_; }
    Settings &settings() { return settings_; }
    const Settings &settings() const { return settings_; }
    Services &services() { return services_; }
    const Services &services() const { return services_; }
    StateTexts &texts() { return texts_; }
    const StateTexts &texts() const { return texts_; }
    RefusalCounts &refusals() { return refusals_; }
    const RefusalCounts &refusals() const { return refusals_; }
    HostMailbox &mailbox() { return mailbox_; }
    TextList &positionsList() { return positionsList_; }
    TextList &mheardList() { return mheardList_; }
    TextList &igatedList() { return igatedList_; }
    TextList &internetList() { return internetList_; }
    AprsIsLink &link() { return link_; }
    Announcer &announcer() { return announcer_; }
    InetToRfGate &inetRfGate() { return inetRfGate_; }
    ReceivePath &receivePath() { return receivePath_; }
    RfGate &rfGate() { return rfGate_; }
    IssRoutine &iss() { return iss_; }
    Satellites &satellites() { return satellites_; }
    WebServer &web() { return web_; }

    bool connectEnabled() const { return connectEnabled_; }
    const QString &fatalMessage() const { return fatalMessage_; }
    const QString &lastFrameTaken() const { return lastFrameTaken_; }
    bool readingSettings() const { return readingSettings_; }
    bool webStartLocked() const { return webStartLocked_; }

signals:
    // Timer12: the fatal start-up message; the program ends once it is shown.
    void fatalError(const QString &message);
    // The program ends now with this exit status.
    void quitRequested(int status);
    // Something the operator must be told at once (a file that could not be
    // written); the program goes on.
    void failure(const QString &message);
    // A message for the operator that is no failure of the program (the
    // server refused the login).
    void notice(const QString &message);
    // A hint for the operator, no failure of anything (the proxy's format).
    void information(const QString &message);
    // Start-up has read kestrel.ini and told the host; the program runs.
    void started();
    void reconnectNoticeChanged(bool visible);
    // The setup dialog's OK has been carried out.
    void settingsConfirmed();
    // A new frame text was taken from the mailbox.
    void frameTaken(const QString &text);

    void connectEnabledChanged(bool enabled);
    void listAllPacketsChanged(bool on);

public:
    // Why start-up cannot go on at all.
    enum class Missing
    {
        LogsFolder,
        WebFolder,
        PageTemplate,
        SettingsFile
    };

private:
    struct TimerPlan
    {
        const char *name;
        QTimer Gateway::*timer;
        int interval;
        bool oneShot;
        bool fromStart; // switched on at start-up
        void (Gateway::*tick)();
    };
    static const std::vector<TimerPlan> &timerPlans();

    StartOutcome fatal(Missing what);
    StartOutcome stopStartUp(const QString &reason);
    bool proveFolder(const QString &relative, Missing what, StartOutcome &outcome);
    bool loadList(const QString &relative, TextList &list, bool &loaded, StartOutcome &outcome);
    bool readSettingsFile(StartOutcome &outcome);
    void readHostBeacon();
    void deriveInternetBeacon();
    QString runningMarker() const;
    void markRunning();

    void onSettingChanged(Settings::Field field);
    void rfReceivePass();
    void checkProxyFormat();
    bool replaceFile(const QString &path, const QByteArray &content, const QString &what);
    bool saveList(const QString &path, const TextList &list);
    void requestQuit(int status);
    void setConnectEnabled(bool enabled);

    ProgramFolder folder_;
    Clock &clock_;
    ActivityLog log_{folder_, clock_};
    Settings settings_;
    Services services_; // from services.ini, read at start-up
    StateTexts texts_;
    RefusalCounts refusals_;
    HostMailbox mailbox_;

    TextList positionsList_{QStringLiteral("Position Beacons")};
    TextList mheardList_{QStringLiteral("MHeard")};
    // Two rows a frame: an even limit drops the oldest frame whole.
    TextList igatedList_{QStringLiteral("IGated Packets List"), 32766};
    TextList internetList_{QStringLiteral("Internet Packet List"), 32767};

    // The timers, by role:
    QTimer Timer1;  // one-shot, 30 s after start: the automatic connection
    QTimer Timer2;  // 1 s while the link runs: rate window, status line, announcements
    QTimer Timer4;  // one-shot: the relay command line
    QTimer Timer5;  // one-shot: the login line
    QTimer Timer6;  // 1 s, always: host status poll, then one frame from the mailbox
    QTimer Timer7;  // 2 s, always: MHeard expiry and the DX text
    QTimer Timer8;  // one-shot: a lost link torn down
    QTimer Timer9;  // one-shot: connect again after a lost link
    QTimer Timer10; // one-shot, 750 ms after start: the web server
    QTimer Timer12; // one-shot: the fatal start-up message
    QTimer Timer14; // 60 s while the ISS object is on: the ISS run
    QTimer Timer15; // 250 ms while the ISS is above the horizon: the lamp
    QTimer Timer16; // 1 s: the ISS progress bar

    AprsIsLink link_{settings_,
                     texts_,
                     refusals_,
                     log_,
                     clock_,
                     internetList_,
                     LinkTimers{Timer2, Timer4, Timer5, Timer8, Timer9}};
    Announcer announcer_{settings_, texts_, internetList_, link_};
    InetToRfGate inetRfGate_{settings_,   texts_,   refusals_, log_,      clock_,
                             mheardList_, mailbox_, link_,     announcer_};
    MessageHandler messages_{settings_, texts_, log_, clock_, internetList_, link_};
    ReceivePath receivePath_{settings_, texts_, log_, internetList_, link_, inetRfGate_, messages_};
    RfGate rfGate_{settings_, texts_, refusals_,
                   log_,      clock_, RfLists{mheardList_, positionsList_, igatedList_},
                   link_};
    Satellites satellites_{settings_, services_, texts_, log_, clock_, folder_};
    IssRoutine iss_{settings_, texts_,      log_,
                    clock_,    folder_,     services_,
                    mailbox_,  satellites_, IssTimers{Timer14, Timer15, Timer16}};
    WebServer web_{settings_, texts_, log_, clock_, folder_, mheardList_, igatedList_, services_};

    QString fatalMessage_;
    QString lastFrameTaken_;       // the last frame text taken from the mailbox
    bool readingSettings_ = false; // while kestrel.ini is read: no check reacts
    bool webStartLocked_ = false;  // during start-up, and after a verified login, the
                                   // dialog's "Enabled" can stop the web server, not start it
    bool started_ = false;
    bool quitting_ = false;
    bool positionsLoaded_ = false;
    bool mheardLoaded_ = false;
    bool connectEnabled_ = false;
    bool hostSeenRunning_ = false; // a state other than "terminated" seen in this run
    QString mailboxProblem_;       // said in errors.txt
};

} // namespace kestrel
