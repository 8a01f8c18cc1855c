#include "aprsis/link.h"

#include "core/activitylog.h"
#include "core/clock.h"
#include "core/refusal.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "core/textlist.h"

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

QString loginLine(const Settings &settings)
{
    return QStringLiteral("user ") + settings.text(Settings::OwnCall) + QStringLiteral(" pass ") +
           settings.text(Settings::ValidationNumber) +
           QStringLiteral(" vers ZenoKestrel V1.02 filter ") + settings.text(Settings::AprsFilter) +
           QStringLiteral("\r\n");
}

AprsIsLink::AprsIsLink(const Settings &settings, StateTexts &texts, RefusalCounts &refusals,
                       ActivityLog &log, Clock &clock, TextList &internetList, LinkTimers timers,
                       QObject *parent)
    : QObject(parent), settings_(settings), texts_(texts), refusals_(refusals), log_(log),
      clock_(clock), internetList_(internetList), timers_(timers)
{
    silence_.setSingleShot(true);
    silence_.setInterval(kSilenceMs);
    connect(&silence_, &QTimer::timeout, this, [this] {
        onLost(QStringLiteral("no line from the server for %1 s").arg(silence_.interval() / 1000));
    });
    // A server faster than the gateway waits in TCP, not in memory here.
    socket_.setReadBufferSize(1 << 20);
    connect(&socket_, &QTcpSocket::readyRead, this, &AprsIsLink::onReadyRead);
    // A close or an error the gateway did not cause itself is a lost link.
    connect(&socket_, &QTcpSocket::disconnected, this,
            [this] { onLost(QStringLiteral("the server closed the connection")); });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        onLost(error == QAbstractSocket::RemoteHostClosedError
                   ? QStringLiteral("the server closed the connection")
                   : socket_.errorString());
    });
}

AprsIsLink::~AprsIsLink()
{
    // The socket outlives the members its handlers use: it must not call
    // them while it closes.
    socket_.disconnect(this);
    socket_.abort();
}

QString AprsIsLink::serverText() const
{
    return settings_.text(Settings::AprsIsHost) + QLatin1Char(':') +
           settings_.text(Settings::AprsIsPort);
}

void AprsIsLink::logConnection(const QString &event, bool always)
{
    if (always || settings_.isOn(Settings::LogServConn))
        log_.appendLog(QStringLiteral("\\Logs_Kestrel\\serv_conn.txt"),
                       {text::stamp(clock_.now()) + event});
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
    socket_.abort();
    ownClose_ = false;
    resetConnection();
}

// The link closed, and the operator sees it so: "Connect", "DISCONNECTED",
// none of the link's timers running.
void AprsIsLink::showDisconnected()
{
    close();
    setState(State::Down);
    texts_.set(StateTexts::ConnectionState, kDisconnected);
    timerswitch::disable(timers_.Timer2);
    timerswitch::disable(timers_.Timer4);
    timerswitch::disable(timers_.Timer5);
}

void AprsIsLink::connectToggle()
{
    // Whatever the operator asks now, a teardown still pending from a lost
    // link must not undo it.
    timerswitch::disable(timers_.Timer8);
    StateTexts &t = texts_;
    t.set(StateTexts::Connections,
          QString::number(text::roundHalfEven(text::numericValue(t.text(StateTexts::Connections))) +
                          1));

    if (state_ == State::Active) {
        showDisconnected();
        logConnection(QStringLiteral(" DISCONNECTED"), true);
        return;
    }

    if (settings_.isOn(Settings::ProxyYesNo)) {
        close();
        setState(State::Active);
        const QString proxy = settings_.text(Settings::ProxyAddress);
        const qsizetype colon = proxy.indexOf(u':');
        if (colon < 0) {
            // The setup dialog refuses such an address; one typed into the
            // file leaves nothing to connect to.
            logConnection(QStringLiteral(" ERROR CON_DES>"), false);
            setState(State::Down);
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

    if (!open(settings_.text(Settings::AprsIsHost), settings_.text(Settings::AprsIsPort)))
        return;
    setState(State::Active);
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
        socket_.connectToHost(host, static_cast<quint16>(port));
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
            socket_.connectToHost(host, static_cast<quint16>(port));
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
    const QByteArray bytes = socket_.readAll();
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
        if (socket_.state() != QAbstractSocket::ConnectedState)
            break;
        emit lineReceived(line);
    }
    for (qint64 i = overlongBefore; i < assembler_.overlong(); ++i)
        refusals_.add(Refusal::OverlongLine);
}

void AprsIsLink::onLost(const QString &why)
{
    if (ownClose_ || state_ == State::Down)
        return;
    // Once: the teardown is already on its way.
    if (timers_.Timer8.isActive())
        return;
    reportFault((loggedIn_ ? QStringLiteral("lost the link to %1: %2")
                           : QStringLiteral("no link to %1: %2"))
                    .arg(target_, why));
    // Nothing more is read or sent on a link taken for lost; the state the
    // operator sees changes with the teardown.
    close();
    timerswitch::enable(timers_.Timer8);
}

void AprsIsLink::reportFault(const QString &what)
{
    // A server that stays away is said once, not at every attempt.
    if (what == reportedFault_)
        return;
    reportedFault_ = what;
    log_.logError(QStringLiteral("APRS-IS"), what);
}

void AprsIsLink::firstData()
{
    if (!texts_.text(StateTexts::ConnectionState).contains(serverText()))
        timerswitch::enable(timers_.Timer4);
}

void AprsIsLink::relayTimerTick()
{
    timerswitch::disable(timers_.Timer4);
    // The relay command goes once, before the login on this connection: a
    // server answers it "# Invalid login command", which must not bring it
    // again (a second line that is no login closes the link).
    if (loggedIn_ || relaySent_ || socket_.state() != QAbstractSocket::ConnectedState)
        return;
    relaySent_ = true;
    writeRaw((settings_.text(Settings::AprsIsHost) + QLatin1Char(' ') +
              settings_.text(Settings::AprsIsPort) + QStringLiteral("\r\n"))
                 .toLatin1());
    setState(State::Active);
    timerswitch::enable(timers_.Timer2);
    timerswitch::enable(timers_.Timer5);
}

void AprsIsLink::loginTimerTick()
{
    timerswitch::disable(timers_.Timer5);
    logIn();
}

void AprsIsLink::logIn()
{
    if (loggedIn_ || socket_.state() != QAbstractSocket::ConnectedState)
        return;
    loggedIn_ = true;
    writeRaw(text::toBytes(loginLine(settings_)));
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return;
    timerswitch::enable(timers_.Timer2);
    texts_.set(StateTexts::ConnectionState, QStringLiteral("CONNECTED TO: ") + serverText());
    logConnection(QStringLiteral(" CONNECTED TO: ") + serverText(), false);
    // After a refused login only the server's answer tells.
    if (!reportedFault_.isEmpty() && !refused_) {
        log_.logError(QStringLiteral("APRS-IS"),
                      QStringLiteral("logged in to %1 again").arg(target_));
        reportedFault_.clear();
    }
    emit loginSent();
}

void AprsIsLink::loginRejected()
{
    timerswitch::disable(timers_.Timer8);
    receiveOnly_ = true;
    showDisconnected();
    refused_ = true;
    reportFault(QStringLiteral("%1 answered the login of %2 \"unverified\": the link is closed "
                               "and nothing is gated or received; set Validation# to the "
                               "APRS-IS passcode of %3 and connect again")
                    .arg(target_, settings_.text(Settings::OwnCall),
                         settings_.text(Settings::OwnCall).section(u'-', 0, 0)));
    const QString line = QStringLiteral("Validation Number Error! * DISCONNECTED *");
    internetList_.append(line);
    logConnection(QLatin1Char(' ') + line, false);
    emit notice(QStringLiteral("Validation Number NOT valid!\r\nDisconnected: nothing is gated "
                               "or received until Validation# holds the APRS-IS passcode of "
                               "%1.")
                    .arg(settings_.text(Settings::OwnCall).section(u'-', 0, 0)));
}

void AprsIsLink::loginVerified()
{
    receiveOnly_ = false;
    emit verified();
    if (!refused_)
        return;
    refused_ = false;
    reportedFault_.clear();
    log_.logError(QStringLiteral("APRS-IS"), QStringLiteral("%1 verified the login of %2")
                                                 .arg(target_, settings_.text(Settings::OwnCall)));
}

bool AprsIsLink::send(const QByteArray &line)
{
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        refusals_.add(Refusal::Disconnected);
        return false;
    }
    if (!loggedIn_) {
        refusals_.add(Refusal::BeforeLogin);
        return false;
    }
    writeRaw(line);
    return socket_.state() == QAbstractSocket::ConnectedState;
}

void AprsIsLink::writeRaw(const QByteArray &line)
{
    if (socket_.write(line) != line.size())
        onLost(QStringLiteral("could not send: ") + socket_.errorString());
}

void AprsIsLink::teardownTimerTick()
{
    timerswitch::disable(timers_.Timer8);
    showDisconnected();
    setReconnectNoticeVisible(true);
    timerswitch::enable(timers_.Timer9);
    logConnection(QStringLiteral(" DISCONNECTED! * Trying again ..."), false);
}

void AprsIsLink::reconnectTimerTick()
{
    timerswitch::disable(timers_.Timer9);
    setReconnectNoticeVisible(false);
    connectToggle();
}

void AprsIsLink::setState(State state)
{
    state_ = state;
    texts_.set(StateTexts::ConnectCaption, state == State::Down ? kConnect : kDisconnect);
}

void AprsIsLink::setReconnectNoticeVisible(bool visible)
{
    if (reconnectNotice_ == visible)
        return;
    reconnectNotice_ = visible;
    emit reconnectNoticeChanged(visible);
}

} // namespace kestrel
