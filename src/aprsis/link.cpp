#include "aprsis/link.h"

#include "station/gateway.h"
#include "core/text.h"

#include <QHostAddress>
#include <QHostInfo>
#include <algorithm>
#include <cstdint>

namespace kestrel {

namespace {
const QString kDisconnected = QStringLiteral("DISCONNECTED");
const QString kConnect = QStringLiteral("Connect");
const QString kDisconnect = QStringLiteral("Disconnect");

// Names under the reserved ".invalid" domain never resolve (RFC 6761), so
// they are not asked of the DNS.
bool reservedInvalid(const QString &host)
{
    QString name = host.toLower();
    if (name.endsWith(u'.'))
        name.chop(1);
    return name == QLatin1String("invalid") || name.endsWith(QLatin1String(".invalid"));
}
} // namespace

AprsIsLink::AprsIsLink(Gateway &gateway, QObject *parent) : QObject(parent), g_(gateway)
{
    silence_.setSingleShot(true);
    silence_.setInterval(kSilenceMs);
    connect(&silence_, &QTimer::timeout, this, [this] {
        onLost(QStringLiteral("no line from the server for %1 s").arg(silence_.interval() / 1000));
    });
    // A server faster than the gateway waits in TCP, not in memory here.
    Winsock2.setReadBufferSize(1 << 20);
    connect(&Winsock2, &QTcpSocket::readyRead, this, &AprsIsLink::onReadyRead);
    // A close or an error the gateway did not cause itself is a lost link.
    connect(&Winsock2, &QTcpSocket::disconnected, this,
            [this] { onLost(QStringLiteral("the server closed the connection")); });
    connect(&Winsock2, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                onLost(error == QAbstractSocket::RemoteHostClosedError
                           ? QStringLiteral("the server closed the connection")
                           : Winsock2.errorString());
            });
}

AprsIsLink::~AprsIsLink()
{
    // The socket outlives the members its handlers use: it must not call
    // them while it closes.
    Winsock2.disconnect(this);
    Winsock2.abort();
}

QString AprsIsLink::serverText() const
{
    return g_.settings.text(Settings::AprsIsHost) + QLatin1Char(':') +
           g_.settings.text(Settings::AprsIsPort);
}

void AprsIsLink::logConnection(const QString &event, bool always)
{
    if (always || g_.settings.isOn(Settings::LogServConn))
        g_.appendLog(QStringLiteral("\\Logs_Kestrel\\serv_conn.txt"),
                     {text::stamp(g_.clock().now()) + event});
}

void AprsIsLink::resetConnection()
{
    loggedIn_ = false;
    relaySent_ = false;
    assembler_.reset();
    silence_.stop();
}

void AprsIsLink::close()
{
    ++attempt_;
    ownClose_ = true;
    Winsock2.abort();
    ownClose_ = false;
    resetConnection();
}

// The link closed, and the operator sees it so: "Connect", "DISCONNECTED",
// none of the link's timers running.
void AprsIsLink::showDisconnected()
{
    close();
    g_.texts.set(StateTexts::ConnectCaption, kConnect);
    g_.texts.set(StateTexts::ConnectionState, kDisconnected);
    Gateway::disable(g_.Timer2);
    Gateway::disable(g_.Timer4);
    Gateway::disable(g_.Timer5);
}

void AprsIsLink::con_descon_inet()
{
    // Whatever the operator asks now, a teardown still pending from a lost
    // link must not undo it.
    Gateway::disable(g_.Timer8);
    StateTexts &t = g_.texts;
    t.set(StateTexts::Connections,
          QString::number(text::roundHalfEven(text::numericValue(t.text(StateTexts::Connections))) +
                          1));

    if (t.text(StateTexts::ConnectCaption) != kConnect) {
        showDisconnected();
        logConnection(QStringLiteral(" DISCONNECTED"), true);
        return;
    }

    if (g_.settings.isOn(Settings::ProxyYesNo)) {
        close();
        t.set(StateTexts::ConnectCaption, kDisconnect);
        const QString proxy = g_.settings.text(Settings::ProxyAddress);
        const qsizetype colon = proxy.indexOf(u':');
        if (colon < 0) {
            // The setup dialog refuses such an address; one typed into the
            // file leaves nothing to connect to.
            logConnection(QStringLiteral(" ERROR CON_DES>"), false);
            t.set(StateTexts::ConnectCaption, kConnect);
            return;
        }
        const QString host = proxy.left(colon);
        const QString port = proxy.mid(colon + 1);
        if (!open(host, port))
            return;
        t.set(StateTexts::ConnectionState, QStringLiteral("CONNECTED to: ") + host + ':' + port);
        logConnection(QLatin1Char(' ') + t.text(StateTexts::ConnectionState), true);
        return;
    }

    if (!open(g_.settings.text(Settings::AprsIsHost), g_.settings.text(Settings::AprsIsPort)))
        return;
    t.set(StateTexts::ConnectCaption, kDisconnect);
    t.set(StateTexts::ConnectionState, QStringLiteral("Connecting ..."));
}

bool AprsIsLink::open(const QString &hostText, const QString &portText)
{
    close();
    const QString host = hostText.trimmed();
    bool ok = false;
    const uint port = portText.trimmed().toUInt(&ok);
    target_ = host + QLatin1Char(':') + portText.trimmed();
    if (host.isEmpty()) {
        addressUnusable(QStringLiteral("no host name"));
        return false;
    }
    if (!ok || port == 0 || port > 65535) {
        addressUnusable(QStringLiteral("\"%1\" is no port number").arg(portText));
        return false;
    }
    if (reservedInvalid(host)) {
        addressUnusable(QStringLiteral("the name does not resolve"));
        return false;
    }
    target_ = host + QLatin1Char(':') + QString::number(port);
    silence_.start();
    if (!QHostAddress(host).isNull()) {
        Winsock2.connectToHost(host, static_cast<quint16>(port));
        return true;
    }
    // The socket would report any failed look-up as "host not found"; only
    // the look-up itself tells a name the DNS denies, which no retry mends,
    // from a DNS that cannot be reached, which one may.
    const quint64 attempt = attempt_;
    QHostInfo::lookupHost(host, this, [this, attempt, host, port](const QHostInfo &info) {
        if (attempt != attempt_)
            return;
        if (info.error() == QHostInfo::HostNotFound)
            addressUnusable(QStringLiteral("the name does not resolve"));
        else if (info.error() != QHostInfo::NoError)
            onLost(QStringLiteral("cannot look the name up: ") + info.errorString());
        else
            Winsock2.connectToHost(host, static_cast<quint16>(port));
    });
    return true;
}

void AprsIsLink::addressUnusable(const QString &why)
{
    logConnection(QStringLiteral(" ERROR CON_DES>"), false);
    reportFault(QStringLiteral("cannot connect to %1: %2").arg(target_, why));
    showDisconnected();
}

void AprsIsLink::onReadyRead()
{
    const QByteArray bytes = Winsock2.readAll();
    if (bytes.isEmpty())
        return;
    const qint64 overlongBefore = assembler_.overlong();
    const QList<QByteArray> lines = assembler_.feed(bytes);
    // Only whole lines show the server is there; bytes without a line end
    // could run for ever.
    if (!lines.isEmpty() || assembler_.overlong() != overlongBefore)
        silence_.start();
    for (const QByteArray &line : lines) {
        // A handler may have closed the link: the rest of this read is stale.
        if (Winsock2.state() != QAbstractSocket::ConnectedState)
            break;
        emit lineReceived(line);
    }
    for (qint64 i = overlongBefore; i < assembler_.overlong(); ++i)
        g_.refusals.add(Refusal::OverlongLine);
}

void AprsIsLink::onLost(const QString &why)
{
    if (ownClose_ || g_.texts.text(StateTexts::ConnectCaption) == kConnect)
        return;
    // Once: the teardown is already on its way.
    if (g_.Timer8.isActive())
        return;
    reportFault((loggedIn_ ? QStringLiteral("lost the link to %1: %2")
                           : QStringLiteral("no link to %1: %2"))
                    .arg(target_, why));
    // Nothing more is read or sent on a link taken for lost; the state the
    // operator sees changes with the teardown.
    close();
    Gateway::enable(g_.Timer8);
}

void AprsIsLink::reportFault(const QString &what)
{
    // A server that stays away is said once, not at every attempt.
    if (what == reportedFault_)
        return;
    reportedFault_ = what;
    g_.logError(QStringLiteral("APRS-IS"), what);
}

void AprsIsLink::firstData()
{
    if (!g_.texts.text(StateTexts::ConnectionState).contains(serverText()))
        Gateway::enable(g_.Timer4);
}

void AprsIsLink::relayTimerTick()
{
    Gateway::disable(g_.Timer4);
    // The relay command goes once, before the login on this connection: a
    // server answers it "# Invalid login command", which must not bring it
    // again (a second line that is no login closes the link).
    if (loggedIn_ || relaySent_ || Winsock2.state() != QAbstractSocket::ConnectedState)
        return;
    relaySent_ = true;
    writeRaw((g_.settings.text(Settings::AprsIsHost) + QLatin1Char(' ') +
              g_.settings.text(Settings::AprsIsPort) + QStringLiteral("\r\n"))
                 .toLatin1());
    g_.texts.set(StateTexts::ConnectCaption, kDisconnect);
    Gateway::enable(g_.Timer2);
    Gateway::enable(g_.Timer5);
}

void AprsIsLink::loginTimerTick()
{
    Gateway::disable(g_.Timer5);
    logIn();
}

QString AprsIsLink::loginLine() const
{
    return QStringLiteral("user ") + g_.settings.text(Settings::OwnCall) +
           QStringLiteral(" pass ") + g_.settings.text(Settings::ValidationNumber) +
           QStringLiteral(" vers ZenoKestrel V1.02 filter ") +
           g_.settings.text(Settings::AprsFilter) + QStringLiteral("\r\n");
}

void AprsIsLink::logIn()
{
    if (loggedIn_ || Winsock2.state() != QAbstractSocket::ConnectedState)
        return;
    loggedIn_ = true;
    writeRaw(text::toBytes(loginLine()));
    if (Winsock2.state() != QAbstractSocket::ConnectedState)
        return;
    Gateway::enable(g_.Timer2);
    g_.texts.set(StateTexts::ConnectionState, QStringLiteral("CONNECTED TO: ") + serverText());
    logConnection(QStringLiteral(" CONNECTED TO: ") + serverText(), false);
    // After a refused login only the server's answer tells.
    if (!reportedFault_.isEmpty() && !refused_) {
        g_.logError(QStringLiteral("APRS-IS"),
                    QStringLiteral("logged in to %1 again").arg(target_));
        reportedFault_.clear();
    }
    // The first announcement falls due ten ticks after the login.
    g_.SEGUNDO = static_cast<qint32>(std::clamp<long long>(
        text::roundHalfEven(g_.settings.number(Settings::Interval) - 10), INT32_MIN, INT32_MAX));
}

void AprsIsLink::loginRejected()
{
    Gateway::disable(g_.Timer8);
    g_.solo_rx = true;
    showDisconnected();
    refused_ = true;
    reportFault(QStringLiteral("%1 answered the login of %2 \"unverified\": receiving only; "
                               "check Validation#")
                    .arg(target_, g_.settings.text(Settings::OwnCall)));
    const QString line = QStringLiteral("Validation Number Error! * DISCONNECTED *");
    g_.internetList.append(line);
    logConnection(QLatin1Char(' ') + line, false);
    emit g_.notice(QStringLiteral("Validation Number NOT valid!\r\nMode Only Receive."));
}

void AprsIsLink::loginVerified()
{
    if (!refused_)
        return;
    refused_ = false;
    reportedFault_.clear();
    g_.logError(QStringLiteral("APRS-IS"), QStringLiteral("%1 verified the login of %2")
                                               .arg(target_, g_.settings.text(Settings::OwnCall)));
}

bool AprsIsLink::send(const QByteArray &line)
{
    if (Winsock2.state() != QAbstractSocket::ConnectedState) {
        g_.refusals.add(Refusal::Disconnected);
        return false;
    }
    if (!loggedIn_) {
        g_.refusals.add(Refusal::BeforeLogin);
        return false;
    }
    writeRaw(line);
    return Winsock2.state() == QAbstractSocket::ConnectedState;
}

void AprsIsLink::writeRaw(const QByteArray &line)
{
    if (Winsock2.write(line) != line.size())
        onLost(QStringLiteral("could not send: ") + Winsock2.errorString());
}

void AprsIsLink::teardownTimerTick()
{
    Gateway::disable(g_.Timer8);
    showDisconnected();
    g_.setReconnectNoticeVisible(true);
    Gateway::enable(g_.Timer9);
    logConnection(QStringLiteral(" DISCONNECTED! * Trying again ..."), false);
}

void AprsIsLink::reconnectTimerTick()
{
    Gateway::disable(g_.Timer9);
    g_.setReconnectNoticeVisible(false);
    con_descon_inet();
}

} // namespace kestrel
