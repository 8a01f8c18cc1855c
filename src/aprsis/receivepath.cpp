#include "aprsis/receivepath.h"

#include "station/gateway.h"
#include "core/text.h"

namespace kestrel {

ReceivePath::ReceivePath(Gateway &gateway) : g_(gateway) {}

void ReceivePath::handle(const QByteArray &line)
{
    const QString chunk = text::fromBytes(line);

    // Only a server comment can answer the login (any station may write
    // "logresp" or "unverified" in a packet), and only one naming this
    // station: the server echoes the call as it was sent.
    if (chunk.startsWith(u'#') && chunk.contains(QLatin1String("logresp")) &&
        chunk.section(QLatin1String("logresp "), 1)
                .section(u' ', 0, 0)
                .compare(g_.settings.text(Settings::OwnCall), Qt::CaseInsensitive) == 0) {
        if (chunk.contains(QLatin1String("unverified"))) {
            g_.link.loginRejected();
            return;
        }
        g_.solo_rx = false;
        g_.Label17 = true;
        g_.link.loginVerified();
    }

    if (g_.listAllPackets() && !chunk.toLower().contains(QLatin1String("# javaprssrvr"))) {
        const qsizetype colon = chunk.indexOf(u':');
        if (colon >= 0) {
            g_.internetList.append(chunk.left(colon + 1));
            g_.internetList.append(chunk.mid(colon + 1));
        } else {
            g_.internetList.append(chunk);
            if (g_.settings.isOn(Settings::LogAprsIs))
                g_.appendLog(QStringLiteral("\\Logs_Kestrel\\aprs_is.txt"), {chunk});
        }
    }

    g_.messages.TrimmedData = chunk;
    if (chunk.contains(u'>'))
        g_.texts.bump(StateTexts::InetRx);
    g_.link.firstData();

    const qsizetype colon = chunk.indexOf(u':');
    const qsizetype typeAt = colon >= 0 ? colon + 1 : 0;
    const QChar dataType = typeAt < chunk.size() ? chunk[typeAt] : QChar();
    // A type the operator does not send to RF may still be a message to us.
    g_.inetRfGate.gate(chunk, dataType);
    if (!g_.messages.traba)
        g_.messages.handle();

    // Straight to the server, without a relay: log in on its first word.
    if (g_.settings.text(Settings::ProxyAddress).isEmpty())
        g_.link.logIn();
}

} // namespace kestrel
