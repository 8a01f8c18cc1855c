#include "test-servers/httptestserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

HttpTestServer::HttpTestServer(QObject *parent) : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                if (request->contains("\r\n\r\n"))
                    return; // answered, or to be
                *request += socket->readAll();
                if (!request->contains("\r\n\r\n"))
                    return;
                requests_.append(request->left(request->indexOf("\r\n")));
                if (hang)
                    return;
                const QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) +
                                          " Test\r\nContent-Type: text/html\r\nContent-Length: " +
                                          QByteArray::number(body.size()) +
                                          "\r\nConnection: close\r\n" + headers + "\r\n" + body;
                QTimer::singleShot(delayMs, socket,
                                   [socket = QPointer<QTcpSocket>(socket), answer] {
                                       if (!socket)
                                           return;
                                       socket->write(answer);
                                       socket->disconnectFromHost();
                                   });
            });
        }
    });
}

bool HttpTestServer::listen(quint16 port)
{
    return server_.listen(QHostAddress::LocalHost, port);
}

QString HttpTestServer::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

QByteArray HttpTestServer::issPage(const QByteArray &latitude, const QByteArray &longitude)
{
    return "<html><head><title>ISS</title></head><body>\n"
           "<h2>ISS</h2>\n"
           "<p>Position of ISS at 14:02:11 UTC</p>\n"
           "<p>Raw packet: N0SAT-3&gt;APRS,RS0ISS*,qAR,N0GAT:;ISS      *140211z" +
           latitude + "\\" + longitude + "SSpace Station\n</p>\n</body></html>\n";
}
