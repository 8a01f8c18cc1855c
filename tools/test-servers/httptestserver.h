#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

// A small HTTP server on loopback that answers every request with one page:
// a status, headers and body, sent at once, after a delay, or never (the
// connection stays open and silent). It records each request line.
class HttpTestServer : public QObject
{
    Q_OBJECT
public:
    explicit HttpTestServer(QObject *parent = nullptr);

    bool listen(quint16 port = 0);
    quint16 port() const { return server_.serverPort(); }
    // "127.0.0.1:port", as a services.ini host.
    QString host() const;

    int status = 200;
    QByteArray headers; // extra header lines, each ending in CR LF
    QByteArray body;
    int delayMs = 0;
    bool hang = false;

    // "GET /cgi-bin/find.cgi?ISS HTTP/1.1" and so on.
    const QList<QByteArray> &requests() const { return requests_; }

    // A look-up page as the service shows it, with the ISS object's raw
    // packet on a "Raw packet:" line.
    static QByteArray issPage(const QByteArray &latitude, const QByteArray &longitude);

private:
    QTcpServer server_;
    QList<QByteArray> requests_;
};
