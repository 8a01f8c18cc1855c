#include "web/webserver.h"

#include "core/activitylog.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "web/webconnection.h"

#include <QNetworkInterface>
#include <QTcpSocket>
#include <algorithm>

namespace kestrel {

WebServer::WebServer(Settings &settings, StateTexts &texts, ActivityLog &log, const Clock &clock,
                     const ProgramFolder &folder, const TextList &mheard, const TextList &igated,
                     const Services &services)
    : settings_(settings), texts_(texts), log_(log),
      pages_(settings, texts, log, clock, folder, mheard, igated, services)
{
    listener_.setMaxPendingConnections(kMaxConnections);
    connect(&listener_, &QTcpServer::newConnection, this, &WebServer::accept);
}

void WebServer::setState(bool on)
{
    texts_.set(StateTexts::WebServerState,
               on ? QStringLiteral("WEB SERVER ON") : QStringLiteral("WEB SERVER OFF"));
}

void WebServer::setCheckEnabled(bool enabled)
{
    if (checkEnabled_ == enabled)
        return;
    checkEnabled_ = enabled;
    emit checkEnabledChanged(enabled);
}

void WebServer::refuse(const QString &why)
{
    log_.logError(QStringLiteral("Web"), why);
    emit notice(why);
}

void WebServer::start(bool fromDialog, bool mayStart)
{
    setState(false);
    if (fromDialog)
        setCheckEnabled(false);
    listener_.close();
    if (!mayStart || !settings_.isOn(Settings::WebServerYesNo))
        return;

    const QString portText = settings_.text(Settings::WebServerPort);
    bool numeric = false;
    const uint port = portText.trimmed().toUInt(&numeric);
    if (!numeric || port < 1 || port > 65535) {
        refuse(QStringLiteral("The web server's port \"%1\" is not a port number "
                              "(1 to 65535); the web server stays off.")
                   .arg(portText));
        return;
    }
    setState(true);
    if (fromDialog)
        setCheckEnabled(true);
    const QHostAddress address = bind_.isNull() ? QHostAddress(QHostAddress::Any) : bind_;
    if (listener_.listen(address, static_cast<quint16>(port)))
        return;

    if (listener_.serverError() == QAbstractSocket::AddressInUseError) {
        // Unticking "Enabled" runs this again from the dialog, which turns
        // everything off.
        settings_.setCheck(Settings::WebServerYesNo, false);
        setState(false);
        setCheckEnabled(false);
        log_.logError(QStringLiteral("Web"), QStringLiteral("port %1 is in use").arg(port));
        emit notice(QStringLiteral("WEB Server found Port: ") + portText +
                    QStringLiteral(" Busy,\r\nChange the Port or keep the Server Disable!"));
        return;
    }
    const QString why = QStringLiteral("The web server cannot listen on port %1: %2")
                            .arg(port)
                            .arg(listener_.errorString());
    setState(false);
    setCheckEnabled(false);
    refuse(why);
}

QString WebServer::localAddress() const
{
    if (!bind_.isNull() && bind_ != QHostAddress::Any && bind_ != QHostAddress::AnyIPv4)
        return bind_.toString();
    for (const QHostAddress &a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a.toString();
    return QStringLiteral("127.0.0.1");
}

void WebServer::accept()
{
    while (QTcpSocket *socket = listener_.nextPendingConnection()) {
        if (connections_.size() >= kMaxConnections) {
            // Make room by the oldest connection that has not asked for
            // anything yet; when every one is being answered, the newcomer
            // waits for no one.
            const auto waiting = std::find_if(connections_.cbegin(), connections_.cend(),
                                              [](WebConnection *c) { return !c->answered(); });
            if (waiting == connections_.cend()) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            (*waiting)->close();
        }
        auto *connection = new WebConnection(socket, pages_, this);
        connect(connection, &WebConnection::closed, this,
                [this, connection] { connections_.removeOne(connection); });
        connections_.append(connection);
    }
}

} // namespace kestrel
