#pragma once

#include "station/issroutine.h"
#include "aprsis/inetrfgate.h"
#include "aprsis/link.h"
#include "aprsis/messages.h"
#include "aprsis/receivepath.h"
#include "core/activitylog.h"
#include "core/clock.h"
#include "core/timerswitch.h"
#include "host/hostmailbox.h"
#include "core/programfolder.h"
#include "core/refusal.h"
#include "station/rfgate.h"
#include "core/services.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/textlist.h"
#include "web/webserver.h"

#include <QObject>
#include <QSet>
#include <QTimer>

namespace kestrel {

// The station: all shared state for the whole run, the start-up sequence,
// the ways out, and the timers that drive every other piece of work. Windows
// only observe it; headless, the same gateway runs without them.
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
    // Start-up, once: the timers that run from the start, then steps 1 to 18.
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
    bool listAllPackets() const { return listAllPackets_; }

    // Procedures other parts call.
    void CheckStatus();
    void con_descon_inet();
    void issRoutine();

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

    static void enable(QTimer &timer) { timerswitch::enable(timer); }
    static void disable(QTimer &timer) { timerswitch::disable(timer); }

    // Appends a line to errors.txt: its own first word, the time, the text.
    void logError(const QString &word, const QString &message);
    // Appends lines to a log under the program folder; a log that cannot be
    // written is said once in errors.txt, until it can be again.
    bool appendLog(const QString &relative, const QStringList &lines);

    // The announcements of the link's clock: beacon, status and bulletin.
    void announce();

    void setReconnectNoticeVisible(bool visible);
    bool reconnectNoticeVisible() const { return reconnectNotice_; }

    const ProgramFolder &folder() const { return folder_; }
    Clock &clock() { return clock_; }

    Settings settings;
    Services services; // from services.ini, read at start-up
    StateTexts texts;
    RefusalCounts refusals;
    HostMailbox mailbox;

    TextList positionsList{QStringLiteral("Position Beacons")};
    TextList mheardList{QStringLiteral("MHeard")};
    // Two rows a frame: an even limit drops the oldest frame whole.
    TextList igatedList{QStringLiteral("IGated Packets List"), 32766};
    TextList internetList{QStringLiteral("Internet Packet List"), 32767};

    QTimer Timer1, Timer2, Timer4, Timer5, Timer6, Timer7, Timer8, Timer9, Timer10, Timer12,
        Timer14, Timer15, Timer16;

    // The APRS-IS link and what works on its traffic.
    AprsIsLink link{*this};
    ReceivePath receivePath{*this};
    InetToRfGate inetRfGate{*this};
    MessageHandler messages{*this};
    RfGate rfGate{*this};
    IssRoutine iss{*this};
    WebServer web{*this};

    // Window variables shared by several parts of the gateway.
    QString texto_de_error; // message of a fatal start-up failure
    double la_otra = 0;     // largest distance accepted since start
    QString Pac_viejo;      // the last frame text taken from the mailbox
    QString trama_APRS;     // the last RF frame as one line
    QString via;            // its digipeater path, with its leading comma
    bool solo_rx = false;   // receive-only after a rejected login
    qint32 SEGUNDO = 0;     // seconds toward the next announcement
    bool Label7 = false;    // true while kestrel.ini is being read
    bool Label17 = false;   // true during start-up, and again after a verified login

    // The ISS frame's progress bar and lamp.
    double issProgress() const { return issProgress_; }
    bool issBarVisible() const { return issBarVisible_; }
    bool issLampVisible() const { return issLampVisible_; }
    // The ISS at or above the station's horizon at the last run.
    bool issAbove() const { return issAbove_; }
    bool connectEnabled() const { return connectEnabled_; }

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
    void issProgressChanged(double width);
    void issBarVisibleChanged(bool visible);
    void issLampVisibleChanged(bool visible);
    void issAboveChanged(bool above);

private:
    friend class IssRoutine;
    StartOutcome fatal(int step);
    StartOutcome stopStartUp(const QString &reason);
    bool proveFolder(const QString &relative, int step, StartOutcome &outcome);
    bool loadList(const QString &relative, TextList &list, bool &loaded, StartOutcome &outcome);
    bool readSettingsFile(StartOutcome &outcome);
    void readHostBeacon();
    void deriveInternetBeacon();
    void onSettingChanged(Settings::Field field);
    void issObjectSwitched(bool on);
    void rfReceivePass();
    void webServerCheckClicked();
    void checkProxyFormat();
    void closeLink();
    bool replaceFile(const QString &path, const QByteArray &content, const QString &what);
    bool saveList(const QString &path, const TextList &list);
    void requestQuit(int status);
    void setIssProgress(double width);
    void setIssBarVisible(bool visible);
    void setIssLampVisible(bool visible);
    void setIssAbove(bool above);
    void setConnectEnabled(bool enabled);

    ProgramFolder folder_;
    Clock &clock_;
    ActivityLog log_{folder_, clock_};
    bool started_ = false;
    bool quitting_ = false;
    bool positionsLoaded_ = false;
    bool mheardLoaded_ = false;
    bool listAllPackets_ = false;
    bool connectEnabled_ = false;
    double issProgress_ = 1;
    bool issBarVisible_ = false;
    bool issLampVisible_ = false;
    bool issAbove_ = false;
    bool reconnectNotice_ = false;
    QString mailboxProblem_; // said in errors.txt
    QString runningMarker() const;
    void markRunning();
};

} // namespace kestrel
