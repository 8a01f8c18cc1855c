#include "web/webconnection.h"

#include "web/pagesource.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimerEvent>
#include <algorithm>

namespace kestrel {

namespace {

// A request is never read, only drained; this much is taken at a time.
constexpr qint64 kReadChunk = 64 * 1024;

// Before the page, so that browsers take it; the length lets a client tell
// a whole page from a cut one.
QByteArray header(qsizetype length)
{
    return "HTTP/1.0 200 OK\r\n"
           "Content-Type: text/html; charset=ISO-8859-1\r\n"
           "Content-Length: " +
           QByteArray::number(length) +
           "\r\n"
           "Connection: close\r\n"
           "\r\n";
}

} // namespace

WebConnection::WebConnection(QTcpSocket *socket, PageSource &pages, QObject *parent)
    : QObject(parent), socket_(socket), pages_(pages)
{
    socket_->setParent(this);
    socket_->setReadBufferSize(kReadChunk);
    connect(socket_, &QTcpSocket::readyRead, this, &WebConnection::arrived);
    // A visitor that takes the page slowly is still progressing.
    connect(socket_, &QTcpSocket::bytesWritten, this, [this] { lastProgress_.start(); });
    connect(socket_, &QTcpSocket::disconnected, this, &WebConnection::close);

    opened_.start();
    lastProgress_.start();
    watchdog_.start(kIdleMs, this);
}

void WebConnection::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == watchdog_.timerId())
        watch();
}

void WebConnection::arrived()
{
    char scratch[4096];
    while (socket_->read(scratch, sizeof scratch) > 0) {
    }
    // Whatever comes after the request is no progress: the visitor has
    // nothing more to ask.
    if (answered_)
        return;
    answered_ = true;
    lastProgress_.start();

    QHostAddress peer = socket_->peerAddress();
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    if (mapped)
        peer = QHostAddress(v4);
    const QByteArray body = pages_.pageFor(peer.toString());
    socket_->write(header(body.size()) + body);
    socket_->disconnectFromHost();
}

void WebConnection::watch()
{
    watchdog_.stop();
    const qint64 left =
        std::min(kIdleMs - lastProgress_.elapsed(), kLifetimeMs - opened_.elapsed());
    if (left > 0)
        watchdog_.start(static_cast<int>(left), this);
    else
        close();
}

void WebConnection::close()
{
    if (closed_)
        return;
    closed_ = true;
    watchdog_.stop();
    socket_->disconnect(this);
    socket_->abort();
    emit closed();
    deleteLater();
}

} // namespace kestrel
