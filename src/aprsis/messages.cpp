#include "aprsis/messages.h"

#include "aprsis/link.h"
#include "core/activitylog.h"
#include "core/clock.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "core/textlist.h"

namespace kestrel {

MessageHandler::MessageHandler(const Settings &settings, StateTexts &texts, ActivityLog &log,
                               Clock &clock, TextList &internetList, AprsIsLink &link)
    : settings_(settings), texts_(texts), log_(log), clock_(clock), internetList_(internetList),
      link_(link)
{
}

QString MessageHandler::addressee(const QString &line)
{
    const qsizetype q = line.indexOf(QLatin1String("::"));
    return q < 0 ? QString() : line.mid(q + 2, 9).trimmed();
}

void MessageHandler::handle(const QString &line)
{
    // A repeat: the same text from its second character on.
    if (line.mid(1) == lastExamined_.mid(1))
        return;
    if (line.size() < 20)
        return;
    lastExamined_ = line;

    const qsizetype p = line.indexOf(u'>');
    if (p < 0)
        return;
    QString sender = line.left(p);
    const QString to = addressee(line);
    const QString information = line.mid(line.indexOf(u':') + 1);
    const QString own = settings_.text(Settings::OwnCall);
    if (to != own || own.isEmpty())
        return;

    sender = sender.leftJustified(9, u' ');
    const qsizetype k = information.indexOf(u'{');
    if (k < 0) {
        return;
    }
    const QString number = information.mid(k + 1);
    const QString header = own + QStringLiteral(">APKR02,APRS::") + sender + QLatin1Char(':');

    const QString ack = header + QStringLiteral("ack") + number + QStringLiteral("\r\n");
    internetList_.append(ack);
    if (!link_.send(text::toBytes(ack + QStringLiteral("\r\n")))) {
        return;
    }
    if (settings_.isOn(Settings::LogMsgs))
        log_.appendLog(QStringLiteral("\\Logs_Kestrel\\incoming_msgs.txt"),
                       {text::stamp(clock_.now()) + QLatin1Char(' ') + line});
    if (settings_.isOn(Settings::AnswerYesNo)) {
        texts_.bump(StateTexts::InetTx);
        const QString answer = header + settings_.text(Settings::AnswerText);
        internetList_.append(answer);
        link_.send(text::toBytes(answer + QStringLiteral("\r\n")));
    }
}

} // namespace kestrel
