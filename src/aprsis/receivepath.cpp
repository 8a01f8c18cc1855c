#include "aprsis/receivepath.h"

#include "aprsis/inetrfgate.h"
#include "aprsis/link.h"
#include "aprsis/messages.h"
#include "core/activitylog.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "core/textlist.h"

namespace kestrel {

ReceivePath::ReceivePath(const Settings &settings, StateTexts &texts, ActivityLog &log,
                         TextList &internetList, AprsIsLink &link, InetToRfGate &inetRfGate,
                         MessageHandler &messages)
    : settings_(settings), texts_(texts), log_(log), internetList_(internetList), link_(link),
      inetRfGate_(inetRfGate), messages_(messages)
{
}

void ReceivePath::handle(const QByteArray &line)
{
    const QString chunk = text::fromBytes(line);

    // Only a server comment can answer the login (any station may write
    // "logresp" or "unverified" in a packet), and only one naming this
    // station: the server echoes the call as it was sent.
    if (chunk.startsWith(u'#') && chunk.contains(QLatin1String("logresp")) &&
        chunk.section(QLatin1String("logresp "), 1)
                .section(u' ', 0, 0)
                .compare(settings_.text(Settings::OwnCall), Qt::CaseInsensitive) == 0) {
        if (chunk.contains(QLatin1String("unverified"))) {
            link_.loginRejected();
            return;
        }
        link_.loginVerified();
    }

    if (listAllPackets_ && !chunk.toLower().contains(QLatin1String("# javaprssrvr"))) {
        const qsizetype colon = chunk.indexOf(u':');
        if (colon >= 0) {
            internetList_.append(chunk.left(colon + 1));
            internetList_.append(chunk.mid(colon + 1));
        } else {
            internetList_.append(chunk);
            if (settings_.isOn(Settings::LogAprsIs))
                log_.appendLog(QStringLiteral("\\Logs_Kestrel\\aprs_is.txt"), {chunk});
        }
    }

    if (chunk.contains(u'>'))
        texts_.bump(StateTexts::InetRx);
    link_.firstData();

    const qsizetype colon = chunk.indexOf(u':');
    const qsizetype typeAt = colon >= 0 ? colon + 1 : 0;
    const QChar dataType = typeAt < chunk.size() ? chunk[typeAt] : QChar();
    // A type the operator does not send to RF may still be a message to us.
    inetRfGate_.gate(chunk, dataType);
    messages_.handle(chunk);

    // Straight to the server, without a relay: log in on its first word.
    if (settings_.text(Settings::ProxyAddress).isEmpty())
        link_.logIn();
}

} // namespace kestrel
