#include "web/webserver.h"

#include "station/gateway.h"
#include "core/text.h"
#include "web/countrytable.h"
#include "web/statuspage.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkInterface>
#include <QTcpSocket>

namespace kestrel {

namespace {

const QString kOff = QStringLiteral("WEB SERVER OFF");
const QString kOn = QStringLiteral("WEB SERVER ON");

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

// A template is a page of HTML; anything far larger is not one.
constexpr qint64 kMaxTemplate = 4 << 20;

} // namespace

WebServer::WebServer(Gateway &gateway) : g_(gateway)
{
    // The tables after the template change only with the two lists.
    for (TextList *list : {&g_.mheardList, &g_.igatedList}) {
        connect(list, &QAbstractItemModel::rowsInserted, this, [this] { tables_.clear(); });
        connect(list, &QAbstractItemModel::rowsRemoved, this, [this] { tables_.clear(); });
        connect(list, &QAbstractItemModel::dataChanged, this, [this] { tables_.clear(); });
        connect(list, &QAbstractItemModel::modelReset, this, [this] { tables_.clear(); });
    }
    listener_.setMaxPendingConnections(kMaxConnections);
    connect(&listener_, &QTcpServer::newConnection, this, &WebServer::accept);
    sweeper_.setInterval(1000);
    connect(&sweeper_, &QTimer::timeout, this, &WebServer::sweep);
}

WebServer::~WebServer()
{
    for (Connection &c : connections_)
        delete c.socket;
}

void WebServer::setState(bool on)
{
    g_.texts.set(StateTexts::WebServerState, on ? kOn : kOff);
}

void WebServer::setCheckEnabled(bool enabled)
{
    if (checkEnabled_ == enabled)
        return;
    checkEnabled_ = enabled;
    emit checkEnabledChanged(enabled);
}

void WebServer::start(bool fromDialog)
{
    setState(false);
    if (fromDialog)
        setCheckEnabled(false);
    listener_.close();
    if (fromDialog && g_.Label17)
        return;
    if (!g_.settings.isOn(Settings::WebServerYesNo))
        return;

    const QString portText = g_.settings.text(Settings::WebServerPort);
    bool numeric = false;
    const uint port = portText.trimmed().toUInt(&numeric);
    if (!numeric || port < 1 || port > 65535) {
        const QString why = QStringLiteral("The web server's port \"%1\" is not a port number "
                                           "(1 to 65535); the web server stays off.")
                                .arg(portText);
        g_.logError(QStringLiteral("Web"), why);
        emit g_.notice(why);
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
        g_.settings.setCheck(Settings::WebServerYesNo, false);
        setState(false);
        setCheckEnabled(false);
        g_.logError(QStringLiteral("Web"), QStringLiteral("port %1 is in use").arg(port));
        emit g_.notice(QStringLiteral("WEB Server found Port: ") + portText +
                       QStringLiteral(" Busy,\r\nChange the Port or keep the Server Disable!"));
        return;
    }
    const QString why = QStringLiteral("The web server cannot listen on port %1: %2")
                            .arg(port)
                            .arg(listener_.errorString());
    setState(false);
    setCheckEnabled(false);
    g_.logError(QStringLiteral("Web"), why);
    emit g_.notice(why);
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

int WebServer::freeSlot()
{
    if (!freeSlots_.empty()) {
        const int slot = freeSlots_.back();
        freeSlots_.pop_back();
        return slot;
    }
    return ++highestSlot_;
}

void WebServer::accept()
{
    while (QTcpSocket *socket = listener_.nextPendingConnection()) {
        if (connections_.size() >= kMaxConnections) {
            // Make room by the oldest connection that has not asked for
            // anything yet; when every one is being answered, the newcomer waits
            // for no one.
            int oldest = 0;
            qint64 oldestAge = -1;
            for (auto it = connections_.cbegin(); it != connections_.cend(); ++it)
                if (!it->answered && it->opened.elapsed() > oldestAge) {
                    oldest = it.key();
                    oldestAge = it->opened.elapsed();
                }
            if (oldest == 0) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            drop(oldest);
        }
        const int slot = freeSlot();
        Connection &c = connections_[slot];
        c.socket = socket;
        c.opened.start();
        c.lastProgress.start();
        socket->setReadBufferSize(kReadChunk);
        connect(socket, &QTcpSocket::readyRead, this, [this, slot] { arrived(slot); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, slot] {
            if (auto it = connections_.find(slot); it != connections_.end())
                it->lastProgress.start();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, slot] { drop(slot); });
        if (!sweeper_.isActive())
            sweeper_.start();
    }
}

void WebServer::arrived(int slot)
{
    auto it = connections_.find(slot);
    if (it == connections_.end())
        return;
    char scratch[4096];
    while (it->socket->read(scratch, sizeof scratch) > 0) {
    }
    if (it->answered)
        return;
    it->answered = true;
    it->lastProgress.start();
    serve(*it);
}

void WebServer::serve(Connection &c)
{
    QHostAddress peer = c.socket->peerAddress();
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    if (mapped)
        peer = QHostAddress(v4);
    const QString visitor = peer.toString();
    if (g_.settings.isOn(Settings::LogVisits))
        logVisit(visitor);
    const QByteArray body = page(visitor);
    c.socket->write(header(body.size()) + body);
    c.socket->disconnectFromHost();
}

QByteArray WebServer::page(const QString &visitor)
{
    // Read again only when the file has changed.
    const QString path = g_.folder().resolve(QStringLiteral("\\Web\\server.htm"));
    const QFileInfo info(path);
    if (path != templatePath_ || info.size() != templateSize_ ||
        info.lastModified() != templateModified_ || !info.isFile()) {
        templatePath_.clear();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            g_.logError(
                QStringLiteral("Web"),
                QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
            return statuspage::missingTemplatePage(file.errorString());
        }
        template_ = file.read(kMaxTemplate);
        templatePath_ = path;
        templateSize_ = info.size();
        templateModified_ = info.lastModified();
    }
    const QByteArray &templ = template_;

    statuspage::Values v;
    const StateTexts &t = g_.texts;
    v.callSign = g_.settings.text(Settings::OwnCall);
    v.mhExpTime = g_.settings.text(Settings::MHExpTime);
    v.comments = g_.settings.text(Settings::WebComments);
    v.beacon = g_.settings.text(Settings::InternetBeaconText);
    v.dateTime = statuspage::dateTime(g_.clock().now(), QLocale::system());
    v.connection = t.text(StateTexts::ConnectionState);
    v.record = t.text(StateTexts::DxText);
    v.micE = t.text(StateTexts::MicELine);
    v.issLine = t.text(StateTexts::IssLine);
    v.visitor = visitor;
    if (tables_.isEmpty() || tablesHost_ != g_.services.aprsLookupHost) {
        tablesHost_ = g_.services.aprsLookupHost;
        tables_ = text::toBytes(
            statuspage::tables(g_.mheardList.rows(), g_.igatedList.rows(), tablesHost_));
    }
    return text::toBytes(statuspage::fillTemplate(templ, v)) + tables_;
}

void WebServer::logVisit(const QString &visitor)
{
    // The table's name is matched without regard to case, so it may change.
    const QString table = g_.folder().resolve(QStringLiteral("\\IP2.csv"));
    if (!countries_ || countriesPath_ != table) {
        countries_ = std::make_unique<CountryTable>(table);
        countriesPath_ = table;
    }
    const QString country = countries_->lookup(visitor);
    g_.appendLog(QStringLiteral("\\Logs_Kestrel\\web_visits.txt"),
                 {text::stamp(g_.clock().now()) + QStringLiteral(" IP:") + visitor +
                  QStringLiteral(" (") + country + QLatin1Char(')')});
}

void WebServer::drop(int slot)
{
    auto it = connections_.find(slot);
    if (it == connections_.end())
        return;
    QTcpSocket *socket = it->socket;
    connections_.erase(it);
    freeSlots_.push_back(slot);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (connections_.isEmpty())
        sweeper_.stop();
}

void WebServer::sweep()
{
    QList<int> stale;
    for (auto it = connections_.cbegin(); it != connections_.cend(); ++it)
        if (it->lastProgress.hasExpired(kIdleMs) || it->opened.hasExpired(kLifetimeMs))
            stale << it.key();
    for (int slot : stale)
        drop(slot);
}

} // namespace kestrel
