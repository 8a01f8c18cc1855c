#include "core/statetexts.h"

namespace kestrel {

StateTexts::StateTexts(QObject *parent) : QObject(parent)
{
    texts_[ConnectionState] = QStringLiteral("DISCONNECTED");
    texts_[WebServerState] = QStringLiteral("WEB SERVER OFF");
    texts_[InetToRfStatus] = QStringLiteral("Disabled");
    texts_[IssCaption] = QStringLiteral("ISS Position Object");
    texts_[Connections] = QStringLiteral("0");
    texts_[ConnectCaption] = QStringLiteral("Connect");
}

void StateTexts::set(Text t, const QString &value)
{
    if (texts_[t] == value)
        return;
    texts_[t] = value;
    emit textChanged(t, value);
}

void StateTexts::bump(Counter c)
{
    setCount(c, counters_[c] + 1);
}

void StateTexts::setCount(Counter c, qint64 value)
{
    counters_[c] = value;
    emit counterChanged(c, value);
}

QString StateTexts::name(Text t)
{
    static const std::array<const char *, TextCount> names{
        "APRS-IS", "Web server", "Call sign",  "DX",     "Inet to RF",  "Last station",
        "Mic-E",   "ISS frame",  "ISS object", "ISS",    "Connections", "Connect button",
        "Filter",  "Host",       "Next pass",  "Passes", "Last pass"};
    return QString::fromLatin1(names[t]);
}

QString StateTexts::name(Counter c)
{
    static const std::array<const char *, CounterCount> names{"RF>Inet", "Inet>RF", "RF Rx",
                                                              "RF Tx",   "Inet Tx", "Inet Rx"};
    return QString::fromLatin1(names[c]);
}

} // namespace kestrel
