#include "test-servers/aprsistestserver.h"

#include "aprsis/passcode.h"

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
    return newest() && newest()->socket->state() == QAbstractSocket::ConnectedState;
}

int AprsIsTestServer::passcode(const QString &call)
{
    return kestrel::aprsis::passcode(call);
}

void AprsIsTestServer::onConnection()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        if (!several_)
            while (!clients_.isEmpty())
                drop(clients_.first().socket);
        clients_.append({socket, ++connections_, {}, {}, false, 0});
        connect(socket, &QTcpSocket::readyRead, this, &AprsIsTestServer::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (several_)
                drop(socket);
        });
        bannerMs_ = clock_.elapsed();
        send(clients_.last(), banner.toLatin1());
    }
}

void AprsIsTestServer::drop(QTcpSocket *socket)
{
    for (qsizetype i = 0; i < clients_.size(); ++i)
        if (clients_[i].socket == socket) {
            clients_.removeAt(i);
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            return;
        }
}

void AprsIsTestServer::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    const auto find = [this, socket]() -> Client * {
        for (Client &c : clients_)
            if (c.socket == socket)
                return &c;
        return nullptr;
    };
    Client *client = find();
    if (!client)
        return;
    const QByteArray bytes = socket->readAll();
    client->raw += bytes;
    client->partial += bytes;
    qsizetype end;
    while ((end = client->partial.indexOf('\n')) >= 0) {
        QByteArray line = client->partial.left(end);
        client->partial.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        received_.append({line, clock_.elapsed(), client->number});
        emit lineReceived(line);
        handle(*client, line);
        // What was handled may have closed the link, or a slot taken it.
        if (!(client = find()))
            return;
    }
}

void AprsIsTestServer::handle(Client &client, const QByteArray &line)
{
    if (client.loggedIn) {
        if (line.startsWith("#filter"))
            send(client, "# filter " + line.mid(8) + " active");
        return;
    }
    if (line.startsWith('#'))
        return;
    const QList<QByteArray> words = line.split(' ');
    if (words.value(0) != "user") {
        send(client, "# Invalid login command");
        if (++client.badLines >= 2)
            client.socket->disconnectFromHost();
        return;
    }
    const QByteArray call = words.value(1);
    const qsizetype vers = words.indexOf("vers");
    const qsizetype filter = words.indexOf("filter");
    if (vers >= 0 && (filter >= 0 ? filter : words.size()) - vers < 3) {
        send(client, "# Invalid login: software name and version are not separated by a space");
        return;
    }
    const qsizetype pass = words.indexOf("pass");
    const bool verified = pass >= 0 &&
                          words.value(pass + 1).toInt() == passcode(QString::fromLatin1(call)) &&
                          words.value(pass + 1) != "-1";
    client.loggedIn = true;
    send(client, "# logresp " + call + (verified ? " verified" : " unverified") + ", server " +
                     name.toLatin1());
}

void AprsIsTestServer::send(Client &client, const QByteArray &line)
{
    if (!silent_ && client.socket->state() == QAbstractSocket::ConnectedState)
        client.socket->write(line + "\r\n");
}

void AprsIsTestServer::push(const QByteArray &bytes)
{
    for (Client &c : clients_)
        if ((several_ ? c.loggedIn : &c == newest()) &&
            c.socket->state() == QAbstractSocket::ConnectedState)
            c.socket->write(bytes);
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
    if (Client *c = newest())
        c->socket->disconnectFromHost();
}

void AprsIsTestServer::keepalive()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (Client &c : clients_)
        send(c, banner.toLatin1() + ' ' +
                    now.toString(QStringLiteral("d MMM yyyy HH:mm:ss")).toLatin1() + " GMT " +
                    name.toLatin1() + " 127.0.0.1:" + QByteArray::number(port()));
}
