#include "aprsis/inetrfgate.h"

#include "aprsis/messages.h"
#include "core/files.h"
#include "station/gateway.h"
#include "core/text.h"

#include <QDir>
#include <QLocale>
#include <cstdint>
#include <exception>

namespace kestrel {

InetToRfGate::InetToRfGate(Gateway &gateway) : g_(gateway) {}

// A packet the gateway's RF neighbours already hear, or one that must not
// go to RF: its source was heard on RF, the path holds the own call, or the
// path says so.
bool InetToRfGate::loopsBack(const QString &chunk) const
{
    const qsizetype gt = chunk.indexOf(u'>');
    const qsizetype colon = chunk.indexOf(u':');
    const QString source = chunk.left(gt);
    const QString path = colon > gt ? chunk.mid(gt + 1, colon - gt - 1) : chunk.mid(gt + 1);
    const QString own = g_.settings.text(Settings::OwnCall);
    for (const QString &part : path.split(u',')) {
        QString call = part;
        if (call.endsWith(u'*'))
            call.chop(1);
        if (call == QLatin1String("TCPXX") || call == QLatin1String("NOGATE") ||
            call == QLatin1String("RFONLY") || call == QLatin1String("qAX") ||
            (!own.isEmpty() && call == own))
            return true;
    }
    for (const QString &row : g_.mheardList.rows())
        if (text::stationOf(row) == source)
            return true;
    return false;
}

InetToRfGate::Outcome InetToRfGate::gate(const QString &chunk, QChar dataType)
{
    const Settings &s = g_.settings;
    if (!s.isOn(Settings::LogInetRf) || !chunk.contains(u'>') || chunk.size() <= 40)
        return Outcome::GoOn;

    const bool message =
        s.isOn(Settings::TypeMessage) && dataType == u':' && !chunk.contains(QLatin1String("BLN"));
    const bool bulletin = s.isOn(Settings::TypeBulletin) && chunk.contains(QLatin1String("BLN"));
    const bool position = s.isOn(Settings::TypePosition) &&
                          (dataType == u'=' || dataType == u'!' || dataType == u'`');
    if (!(s.isOn(Settings::TypeAll) || message || bulletin || position)) {
        g_.refusals.add(Refusal::TypeFilter);
        return Outcome::TypeRejected;
    }

    if (s.number(Settings::IGateRfPort) == 0) {
        g_.refusals.add(Refusal::PortDisabled);
        return Outcome::GoOn;
    }
    if (chunk.startsWith(u'#')) {
        g_.refusals.add(Refusal::ServerComment);
        return Outcome::GoOn;
    }
    // A message to the gateway is answered on APRS-IS; on the air it would
    // go out again with every retry of its sender.
    const QString own = s.text(Settings::OwnCall);
    if (!own.isEmpty() && MessageHandler::addressee(chunk) == own) {
        g_.refusals.add(Refusal::ToOwnCall);
        return Outcome::GoOn;
    }
    if (loopsBack(chunk)) {
        g_.refusals.add(Refusal::LoopGuard);
        return Outcome::GoOn;
    }

    // Refused packets count too: at most "Packets/min" less one go out in a
    // window.
    if (paquete < INT16_MAX)
        ++paquete;
    if (s.number(Settings::PacketsMin) <= paquete) {
        g_.refusals.add(Refusal::RateLimit);
        return Outcome::GoOn;
    }

    g_.appendLog(QStringLiteral("\\Logs_Kestrel\\Inet_RF.txt"),
                 {QStringLiteral("Port:") + s.text(Settings::IGateRfPort) + QLatin1Char(' ') +
                      s.text(Settings::OwnCall) + QStringLiteral(">APKR02:"),
                  QLatin1Char('}') + chunk});
    g_.mailbox.transmitText(QStringLiteral(":}") + chunk);
    g_.texts.bump(StateTexts::InetToRf);
    g_.texts.bump(StateTexts::RfTx);
    return Outcome::GoOn;
}

void InetToRfGate::clockTick()
{
    // The clock must keep ticking whatever one tick meets: a failure is
    // written to chatlog.txt in the working directory and the tick goes on.
    int stage = 0;
    try {
        tick(stage);
    } catch (const std::exception &e) {
        files::appendLines(QDir::current().absoluteFilePath(QStringLiteral("chatlog.txt")),
                           {QStringLiteral("ERROR TIMER2>") +
                            QLocale::system().toString(g_.clock().now(), QLocale::ShortFormat) +
                            QLatin1Char('>') + QString::fromLocal8Bit(e.what()) +
                            QStringLiteral("(0) nivel=") + QString::number(stage)});
    }
}

void InetToRfGate::tick(int &stage)
{
    if (g_.solo_rx)
        return;
    if (g_.SEGUNDO < INT32_MAX)
        ++g_.SEGUNDO;
    if (++Tiempo_Gate >= 60) {
        Tiempo_Gate = 0;
        paquete = 0;
    }
    const Settings &s = g_.settings;
    QString status;
    if (s.number(Settings::IGateRfPort) == 0)
        status = QStringLiteral("Disabled");
    else if (s.number(Settings::PacketsMin) <= paquete)
        status = QStringLiteral("RF Limit! Time:") + QString::number(Tiempo_Gate);
    else
        status = QStringLiteral("Packets:%1 Time:%2").arg(paquete).arg(Tiempo_Gate);
    g_.texts.set(StateTexts::InetToRfStatus, status);

    stage = 1;
    if (s.number(Settings::Interval) <= g_.SEGUNDO) {
        g_.announce();
        g_.SEGUNDO = 0;
    }
}

} // namespace kestrel
