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
    QByteArray raw() const { return raw_; }
    int connections() const { return connections_; }
    bool clientConnected() const;
    bool loggedIn() const { return loggedIn_; }
    qint64 elapsed() const { return clock_.elapsed(); }
    // Time of the banner on the current connection.
    qint64 bannerMs() const { return bannerMs_; }

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
    void onConnection();
    void onReadyRead();
    void handle(const QByteArray &line);
    void send(const QByteArray &line);
    void keepalive();

    QTcpServer server_;
    QTcpSocket *client_ = nullptr;
    QByteArray partial_;
    QByteArray raw_;
    QList<Received> received_;
    QElapsedTimer clock_;
    QTimer keepalive_;
    int connections_ = 0;
    bool loggedIn_ = false;
    int badLines_ = 0;
    bool silent_ = false;
    qint64 bannerMs_ = -1;
};
