#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

// A small APRS-IS server on loopback that answers as the network's servers
// do: a banner on connect, "# logresp CALL verified|unverified, server NAME"
// by the standard passcode, keepalive comments, "# Invalid login command"
// for a line that is no login (the second one closes the link). It records
// every line it receives with its time, and can push lines (whole, glued
// together or split across writes), close the link, or go silent.
class AprsIsTestServer : public QObject
{
    Q_OBJECT
public:
    struct Received
    {
        QByteArray line; // without its line end
        qint64 ms;       // since the server started
        int connection;  // 1 for the first connection, and so on
    };

    explicit AprsIsTestServer(QObject *parent = nullptr);

    bool listen(quint16 port = 0);
    quint16 port() const { return server_.serverPort(); }

    QString banner = QStringLiteral("# aprsc 2.1.21-");
    QString name = QStringLiteral("TEST0");
    void setKeepaliveMs(int ms);

    const QList<Received> &received() const { return received_; }
    QList<QByteArray> lines() const;
    // Every byte received on the current connection, line ends and all.
    QByteArray raw() const { return newest() ? newest()->raw : QByteArray(); }
    int connections() const { return connections_; }
    bool clientConnected() const;
    bool loggedIn() const { return newest() && newest()->loggedIn; }
    qint64 elapsed() const { return clock_.elapsed(); }
    // Time of the banner on the current connection.
    qint64 bannerMs() const { return bannerMs_; }

    // Clients connected before the newest stay (the server on its own, for
    // several gateways); otherwise a new client takes the place of the one
    // before, as the gateway keeps one link. What is pushed goes to every
    // client logged in; what is asked of the client is of the newest.
    void setSeveralClients(bool on) { several_ = on; }

    // Bytes to the client exactly as given.
    void push(const QByteArray &bytes);
    // Lines, each with CR LF, in one write.
    void pushLines(const QList<QByteArray> &lines);
    void closeClient();
    // No answers and no keepalives from now on (the link stays open).
    void setSilent(bool silent) { silent_ = silent; }

    static int passcode(const QString &call);

signals:
    void lineReceived(const QByteArray &line);

private:
    struct Client
    {
        QTcpSocket *socket;
        int number; // 1 for the first connection, and so on
        QByteArray partial;
        QByteArray raw;
        bool loggedIn = false;
        int badLines = 0;
    };
    void onConnection();
    void onReadyRead();
    void handle(Client &client, const QByteArray &line);
    void send(Client &client, const QByteArray &line);
    void drop(QTcpSocket *socket);
    void keepalive();
    Client *newest() { return clients_.isEmpty() ? nullptr : &clients_.last(); }
    const Client *newest() const { return clients_.isEmpty() ? nullptr : &clients_.last(); }

    QTcpServer server_;
    QList<Client> clients_; // oldest first
    QList<Received> received_;
    QElapsedTimer clock_;
    QTimer keepalive_;
    int connections_ = 0;
    bool several_ = false;
    bool silent_ = false;
    qint64 bannerMs_ = -1;
};
