#pragma once

#include "aprsis/lineassembler.h"
#include "core/timerswitch.h"

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

namespace kestrel {

class ActivityLog;
class Clock;
class RefusalCounts;
class Settings;
class StateTexts;
class TextList;

// The login line for the settings' call, passcode and filter.
QString loginLine(const Settings &settings);

// The link's timers, named as the station names them.
struct LinkTimers
{
    QTimer &Timer2; // the link's one-second clock, from the relay line or login on
    QTimer &Timer4; // one-shot: the relay command line
    QTimer &Timer5; // one-shot: the login line
    QTimer &Timer8; // one-shot: a lost link torn down
    QTimer &Timer9; // one-shot: connect again
};

// The one TCP connection to an APRS-IS server, directly or through a relay
// told the real destination in its first line: connect and disconnect, the
// relay command and login, the state texts, loss and reconnection, and the
// connection log. What arrives is handed on line by line.
//
// The operator sees the state as the Connect button's caption and the
// connection state text; which link timers run is part of it.
class AprsIsLink : public QObject
{
    Q_OBJECT
public:
    // No line from the server for this long means the link is gone (servers
    // send a comment every 20 s).
    static constexpr int kSilenceMs = 120000;

    AprsIsLink(const Settings &settings, StateTexts &texts, RefusalCounts &refusals,
               ActivityLog &log, Clock &clock, TextList &internetList, LinkTimers timers,
               QObject *parent = nullptr);
    ~AprsIsLink() override;

    enum class State
    {
        Down,  // the button says "Connect"
        Active // connecting, connected or logged in: the button says "Disconnect"
    };
    State state() const { return state_; }

    // The connect/disconnect toggle.
    void connectToggle();
    // The timers' duties.
    void relayTimerTick();     // Timer4: the relay command line
    void loginTimerTick();     // Timer5: the login line
    void teardownTimerTick();  // Timer8: the lost link is torn down
    void reconnectTimerTick(); // Timer9: connect again

    // The first-data trigger: until the state text shows the server, each
    // line from it arms the relay command.
    void firstData();
    // The login, once per connection, from whichever sender comes first.
    void logIn();
    // The server refused the login: close, and stay receive-only.
    void loginRejected();
    // The server accepted it.
    void loginVerified();

    // Sends one line that already ends in CR LF. False when it did not go:
    // no link, not logged in yet, or the write failed. A failed write starts
    // the connection-lost sequence itself; callers need not.
    bool send(const QByteArray &line);
    bool loggedIn() const { return loggedIn_; }
    // After a login the server did not verify, until one it does: nothing
    // goes to the server and the link's clock stands still.
    bool receiveOnly() const { return receiveOnly_; }

    // The notice that a lost link is being tried again.
    bool reconnectNoticeVisible() const { return reconnectNotice_; }
    void setReconnectNoticeVisible(bool visible);

    // Closes the socket without starting the lost sequence (program end).
    void close();

    qint64 overlongLines() const { return assembler_.overlong(); }
    // How long a silent server is trusted (tests shorten it).
    void setSilenceMs(int ms) { silence_.setInterval(ms); }

    QTcpSocket &socket() { return socket_; }

signals:
    void lineReceived(const QByteArray &line);
    // The login line went out: the announcements count from here.
    void loginSent();
    // The server verified the login.
    void verified();
    // For the operator at once (the server refused the login).
    void notice(const QString &message);
    void reconnectNoticeChanged(bool visible);

private:
    // Starts connecting; false when the address is unusable, which has then
    // been said and shown.
    bool open(const QString &host, const QString &portText);
    // An address no retry can mend (no host, no port, a name the DNS
    // denies): said once, and the link stays down until the operator acts.
    void addressUnusable(const QString &why);
    void onReadyRead();
    // The link is taken for lost; why, for errors.txt.
    void onLost(const QString &why);
    // A fault of the link in errors.txt, once until a login succeeds again.
    void reportFault(const QString &what);
    void writeRaw(const QByteArray &line);
    void logConnection(const QString &event, bool always);
    void resetConnection();
    void showDisconnected();
    void setState(State state);
    QString serverText() const;

    const Settings &settings_;
    StateTexts &texts_;
    RefusalCounts &refusals_;
    ActivityLog &log_;
    Clock &clock_;
    TextList &internetList_;
    LinkTimers timers_;
    QTcpSocket socket_;
    State state_ = State::Down;
    bool receiveOnly_ = false;
    bool reconnectNotice_ = false;
    LineAssembler assembler_;
    QTimer silence_;
    bool loggedIn_ = false;
    bool relaySent_ = false;
    bool ownClose_ = false;
    QString target_;        // host:port of the connection under way
    quint64 attempt_ = 0;   // a name looked up for an earlier attempt is stale
    QString reportedFault_; // the last fault in errors.txt since a login
    bool refused_ = false;  // the last login answer was "unverified"
};

} // namespace kestrel
