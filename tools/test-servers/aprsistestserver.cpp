#include "test-servers/aprsistestserver.h"

#include <QDateTime>
#include <QTcpSocket>

AprsIsTestServer::AprsIsTestServer(QObject *parent) : QObject(parent)
{
    clock_.start();
    connect(&server_, &QTcpServer::newConnection, this, &AprsIsTestServer::onConnection);
    connect(&keepalive_, &QTimer::timeout, this, &AprsIsTestServer::keepalive);
    setKeepaliveMs(20000);
}

bool AprsIsTestServer::listen(quint16 port)
{
    return server_.listen(QHostAddress::LocalHost, port);
}

void AprsIsTestServer::setKeepaliveMs(int ms)
{
    keepalive_.start(ms);
}

QList<QByteArray> AprsIsTestServer::lines() const
{
    QList<QByteArray> out;
    for (const Received &r : received_)
        out << r.line;
    return out;
}

bool AprsIsTestServer::clientConnected() const
{
    return client_ && client_->state() == QAbstractSocket::ConnectedState;
}

int AprsIsTestServer::passcode(const QString &call)
{
    const QByteArray c = call.section(u'-', 0, 0).toUpper().toLatin1();
    int hash = 0x73e2;
    for (qsizetype i = 0; i < c.size(); i += 2) {
        hash ^= static_cast<unsigned char>(c[i]) << 8;
        if (i + 1 < c.size())
            hash ^= static_cast<unsigned char>(c[i + 1]);
    }
    return hash & 0x7fff;
}

void AprsIsTestServer::onConnection()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        // One client at a time, as the gateway keeps one link.
        if (client_) {
            client_->disconnect(this);
            client_->abort();
            client_->deleteLater();
        }
        client_ = socket;
        ++connections_;
        loggedIn_ = false;
        badLines_ = 0;
        partial_.clear();
        raw_.clear();
        connect(socket, &QTcpSocket::readyRead, this, &AprsIsTestServer::onReadyRead);
        bannerMs_ = clock_.elapsed();
        send(banner.toLatin1());
    }
}

void AprsIsTestServer::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (socket != client_)
        return;
    const QByteArray bytes = socket->readAll();
    raw_ += bytes;
    partial_ += bytes;
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        QByteArray line = partial_.left(end);
        partial_.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        received_.append({line, clock_.elapsed(), connections_});
        emit lineReceived(line);
        handle(line);
        if (socket != client_)
            return;
    }
}

void AprsIsTestServer::handle(const QByteArray &line)
{
    if (loggedIn_) {
        if (line.startsWith("#filter"))
            send("# filter " + line.mid(8) + " active");
        return;
    }
    if (line.startsWith('#'))
        return;
    const QList<QByteArray> words = line.split(' ');
    if (words.value(0) != "user") {
        send("# Invalid login command");
        if (++badLines_ >= 2)
            closeClient();
        return;
    }
    const QByteArray call = words.value(1);
    const qsizetype vers = words.indexOf("vers");
    const qsizetype filter = words.indexOf("filter");
    if (vers >= 0 && (filter >= 0 ? filter : words.size()) - vers < 3) {
        send("# Invalid login: software name and version are not separated by a space");
        return;
    }
    const qsizetype pass = words.indexOf("pass");
    const bool verified = pass >= 0 &&
                          words.value(pass + 1).toInt() == passcode(QString::fromLatin1(call)) &&
                          words.value(pass + 1) != "-1";
    loggedIn_ = true;
    send("# logresp " + call + (verified ? " verified" : " unverified") + ", server " +
         name.toLatin1());
}

void AprsIsTestServer::send(const QByteArray &line)
{
    if (!silent_ && clientConnected())
        client_->write(line + "\r\n");
}

void AprsIsTestServer::push(const QByteArray &bytes)
{
    if (clientConnected())
        client_->write(bytes);
}

void AprsIsTestServer::pushLines(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &l : lines)
        bytes += l + "\r\n";
    push(bytes);
}

void AprsIsTestServer::closeClient()
{
    if (client_)
        client_->disconnectFromHost();
}

void AprsIsTestServer::keepalive()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    send(banner.toLatin1() + ' ' + now.toString(QStringLiteral("d MMM yyyy HH:mm:ss")).toLatin1() +
         " GMT " + name.toLatin1() + " 127.0.0.1:" + QByteArray::number(port()));
}
