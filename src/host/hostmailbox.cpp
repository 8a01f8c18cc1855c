#include "host/hostmailbox.h"

#include "core/text.h"

#include <algorithm>
#include <climits>

namespace kestrel {

const QString HostMailbox::kRxData = QStringLiteral("Software\\Zeno\\RXData");
const QString HostMailbox::kStatus = QStringLiteral("Software\\Zeno\\Status");
const QString HostMailbox::kMyCall = QStringLiteral("Software\\Zeno\\MyCall");
const QString HostMailbox::kPath = QStringLiteral("Software\\Zeno\\Path");
const QString HostMailbox::kTxData = QStringLiteral("Software\\Zeno\\TXData");
const QString HostMailbox::kCommand = QStringLiteral("Software\\Zeno\\Command");

namespace {
const QString kString = QStringLiteral("String");
const QString kCommandName = QStringLiteral("Command");
const QString kTxDataWord = QStringLiteral("/TXDATA/");
} // namespace

HostMailbox::HostMailbox(mailbox::Store &store, QObject *parent) : QObject(parent), store_(store)
{
    pacer_.setSingleShot(true);
    connect(&pacer_, &QTimer::timeout, this, &HostMailbox::pump);
}

QString HostMailbox::get(const QString &key, const QString &name) const
{
    const auto value =
        store_.get(mailbox::kCurrentUser, text::toStdBytes(key), text::toStdBytes(name));
    return value ? text::fromBytes(*value) : QString();
}

bool HostMailbox::set(const QString &key, const QString &name, const QString &value)
{
    const bool ok = store_.set(mailbox::kCurrentUser, text::toStdBytes(key), text::toStdBytes(name),
                               text::toStdBytes(value));
    if (!ok)
        emit writeFailed(key, name);
    return ok;
}

QString HostMailbox::problem() const
{
    return QString::fromStdString(store_.problem());
}

QString HostMailbox::receivedFrame() const
{
    return get(kRxData, kString);
}

QString HostMailbox::hostStatus() const
{
    return get(kStatus, kString).toLower();
}

QString HostMailbox::myCall() const
{
    return get(kMyCall, kString);
}

QString HostMailbox::hostPath() const
{
    return get(kPath, kString);
}

void HostMailbox::transmitText(const QString &text)
{
    enqueue({{{kTxData, kString, text}}, kTxDataWord, QStringLiteral("TXDATA ") + text});
}

void HostMailbox::setTransmitAddressing(const QString &unprotoPath)
{
    // The host reads To and Via at each "/SETTVF/": both are written before
    // the first, so it never takes the new destination with the old path.
    // The second command follows the first with nothing queued between.
    const QString settvf = QStringLiteral("/SETTVF/");
    enqueue({{{kCommand, QStringLiteral("To"), QStringLiteral("APKR02")},
              {kCommand, QStringLiteral("Via"), unprotoPath}},
             settvf,
             QStringLiteral("SETTVF to=APKR02")});
    enqueue({{}, settvf, QStringLiteral("SETTVF via=") + unprotoPath});
}

HostMailbox::Ports HostMailbox::portSelection(const QString &rfPortIGate,
                                              const QString &igateRfPort)
{
    const auto whole = [](double v) {
        return static_cast<int>(std::clamp<long long>(text::roundHalfEven(v), INT_MIN, INT_MAX));
    };
    const int rx = rfPortIGate == QLatin1String("All") ? 7 : whole(text::numericValue(rfPortIGate));
    const double txValue = text::numericValue(igateRfPort);
    const int tx = txValue == 0 ? rx : whole(txValue);
    return {rx, tx};
}

void HostMailbox::selectPorts(const QString &rfPortIGate, const QString &igateRfPort)
{
    const Ports p = portSelection(rfPortIGate, igateRfPort);
    const QString rx = QString::number(p.rx);
    const QString tx = QString::number(p.tx);
    enqueue({{{kCommand, QStringLiteral("RXP"), rx}, {kCommand, QStringLiteral("TXP"), tx}},
             QStringLiteral("/CHANGEPORT/"),
             QStringLiteral("CHANGEPORT rxp=%1 txp=%2").arg(rx, tx)});
}

void HostMailbox::announce()
{
    enqueue({{{kCommand, QStringLiteral("Application"), QStringLiteral("MyProgram")}},
             QString(),
             QStringLiteral("APPLICATION MyProgram")});
}

void HostMailbox::enqueue(Item item)
{
    queue_.enqueue(std::move(item));
    if (queue_.size() == 1)
        pump();
}

qint64 HostMailbox::waitBefore(const Item &item) const
{
    if (item.command.isEmpty())
        return 0;
    qint64 wait = 0;
    if (sinceCommand_.isValid())
        wait = kCommandGapMs - sinceCommand_.elapsed();
    if (item.command == kTxDataWord && sinceTransmit_.isValid())
        wait = std::max(wait, kTransmitGapMs - sinceTransmit_.elapsed());
    return std::max<qint64>(wait, 0);
}

void HostMailbox::pump()
{
    while (!queue_.isEmpty()) {
        const qint64 wait = waitBefore(queue_.head());
        if (wait > 0) {
            pacer_.start(static_cast<int>(wait));
            return;
        }
        writeItem(queue_.dequeue());
    }
}

void HostMailbox::flush()
{
    pacer_.stop();
    while (!queue_.isEmpty())
        writeItem(queue_.dequeue());
}

QStringList HostMailbox::discardPending()
{
    pacer_.stop();
    QStringList dropped;
    while (!queue_.isEmpty())
        dropped << queue_.dequeue().summary;
    return dropped;
}

void HostMailbox::writeItem(const Item &item)
{
    for (const Write &w : item.writes)
        set(w.key, w.name, w.value);
    if (!item.command.isEmpty()) {
        set(kCommand, kCommandName, item.command);
        sinceCommand_.start();
        if (item.command == kTxDataWord)
            sinceTransmit_.start();
    }
    emit commandWritten(item.summary);
}

} // namespace kestrel
