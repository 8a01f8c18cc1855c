#pragma once

#include "aprsis/lineassembler.h"

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

namespace kestrel {

class Gateway;

// The one TCP connection to an APRS-IS server, directly or through a relay
// told the real destination in its first line: connect and disconnect, the
// relay command and login, the state texts, loss and reconnection, and the
// connection log. What arrives is handed on line by line.
//
// The state lives where the operator sees it: the Connect button's caption,
// the connection state text, and which link timers run.
class AprsIsLink : public QObject
{
    Q_OBJECT
public:
    // No line from the server for this long means the link is gone (servers
    // send a comment every 20 s).
    static constexpr int kSilenceMs = 120000;

    explicit AprsIsLink(Gateway &gateway, QObject *parent = nullptr);
    ~AprsIsLink() override;

    // The connect/disconnect toggle.
    void con_descon_inet();
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

    // Closes the socket without starting the lost sequence (program end).
    void close();

    QString loginLine() const;
    qint64 overlongLines() const { return assembler_.overlong(); }
    // How long a silent server is trusted (tests shorten it).
    void setSilenceMs(int ms) { silence_.setInterval(ms); }

    QTcpSocket Winsock2;

signals:
    void lineReceived(const QByteArray &line);

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
    QString serverText() const;

    Gateway &g_;
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
