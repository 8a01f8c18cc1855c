#include "aprsis/messages.h"

#include "station/gateway.h"
#include "core/text.h"

namespace kestrel {

MessageHandler::MessageHandler(Gateway &gateway) : g_(gateway) {}

QString MessageHandler::addressee(const QString &line)
{
    const qsizetype q = line.indexOf(QLatin1String("::"));
    return q < 0 ? QString() : line.mid(q + 2, 9).trimmed();
}

void MessageHandler::handle()
{
    // A repeat: the same text from its second character on.
    if (TrimmedData.mid(1) == trama_vieja.mid(1))
        return;
    if (TrimmedData.size() < 20)
        return;
    trama_vieja = TrimmedData;

    const qsizetype p = TrimmedData.indexOf(u'>');
    if (p < 0)
        return;
    QString emisor = TrimmedData.left(p);
    const QString destino = addressee(TrimmedData);
    const QString trama = TrimmedData.mid(TrimmedData.indexOf(u':') + 1);
    const QString own = g_.settings.text(Settings::OwnCall);
    if (destino != own || own.isEmpty())
        return;

    traba = true;
    emisor = emisor.leftJustified(9, u' ');
    const qsizetype k = trama.indexOf(u'{');
    if (k < 0) {
        traba = false;
        return;
    }
    const QString ack_c2 = trama.mid(k + 1);
    const QString header = own + QStringLiteral(">APKR02,APRS::") + emisor + QLatin1Char(':');

    const QString ack = header + QStringLiteral("ack") + ack_c2 + QStringLiteral("\r\n");
    g_.internetList.append(ack);
    if (!g_.link.send(text::toBytes(ack + QStringLiteral("\r\n")))) {
        traba = false;
        return;
    }
    if (g_.settings.isOn(Settings::LogMsgs))
        g_.appendLog(QStringLiteral("\\Logs_Kestrel\\incoming_msgs.txt"),
                     {text::stamp(g_.clock().now()) + QLatin1Char(' ') + TrimmedData});
    if (g_.settings.isOn(Settings::AnswerYesNo)) {
        g_.texts.bump(StateTexts::InetTx);
        const QString answer = header + g_.settings.text(Settings::AnswerText);
        g_.internetList.append(answer);
        g_.link.send(text::toBytes(answer + QStringLiteral("\r\n")));
    }
    traba = false;
}

} // namespace kestrel
