#include "aprsis/inetrfgate.h"

#include "aprsis/announcer.h"
#include "aprsis/link.h"
#include "aprsis/messages.h"
#include "core/activitylog.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/refusal.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "core/textlist.h"
#include "host/hostmailbox.h"

#include <QDir>
#include <QLocale>
#include <cstdint>
#include <exception>

namespace kestrel {

InetToRfGate::InetToRfGate(const Settings &settings, StateTexts &texts, RefusalCounts &refusals,
                           ActivityLog &log, Clock &clock, const TextList &mheardList,
                           HostMailbox &mailbox, const AprsIsLink &link, Announcer &announcer)
    : settings_(settings), texts_(texts), refusals_(refusals), log_(log), clock_(clock),
      mheardList_(mheardList), mailbox_(mailbox), link_(link), announcer_(announcer)
{
}

// A packet the gateway's RF neighbours already hear, or one that must not
// go to RF: its source was heard on RF, the path holds the own call, or the
// path says so.
bool InetToRfGate::loopsBack(const QString &chunk) const
{
    const qsizetype gt = chunk.indexOf(u'>');
    const qsizetype colon = chunk.indexOf(u':');
    const QString source = chunk.left(gt);
    const QString path = colon > gt ? chunk.mid(gt + 1, colon - gt - 1) : chunk.mid(gt + 1);
    const QString own = settings_.text(Settings::OwnCall);
    for (const QString &part : path.split(u',')) {
        QString call = part;
        if (call.endsWith(u'*'))
            call.chop(1);
        if (call == QLatin1String("TCPXX") || call == QLatin1String("NOGATE") ||
            call == QLatin1String("RFONLY") || call == QLatin1String("qAX") ||
            (!own.isEmpty() && call == own))
            return true;
    }
    for (const QString &row : mheardList_.rows())
        if (text::stationOf(row) == source)
            return true;
    return false;
}

InetToRfGate::Outcome InetToRfGate::gate(const QString &chunk, QChar dataType)
{
    const Settings &s = settings_;
    if (!s.isOn(Settings::LogInetRf) || !chunk.contains(u'>') || chunk.size() <= 40)
        return Outcome::GoOn;

    const bool message =
        s.isOn(Settings::TypeMessage) && dataType == u':' && !chunk.contains(QLatin1String("BLN"));
    const bool bulletin = s.isOn(Settings::TypeBulletin) && chunk.contains(QLatin1String("BLN"));
    const bool position = s.isOn(Settings::TypePosition) &&
                          (dataType == u'=' || dataType == u'!' || dataType == u'`');
    if (!(s.isOn(Settings::TypeAll) || message || bulletin || position)) {
        refusals_.add(Refusal::TypeFilter);
        return Outcome::TypeRejected;
    }

    if (s.number(Settings::IGateRfPort) == 0) {
        refusals_.add(Refusal::PortDisabled);
        return Outcome::GoOn;
    }
    if (chunk.startsWith(u'#')) {
        refusals_.add(Refusal::ServerComment);
        return Outcome::GoOn;
    }
    // A message to the gateway is answered on APRS-IS; on the air it would
    // go out again with every retry of its sender.
    const QString own = s.text(Settings::OwnCall);
    if (!own.isEmpty() && MessageHandler::addressee(chunk) == own) {
        refusals_.add(Refusal::ToOwnCall);
        return Outcome::GoOn;
    }
    if (loopsBack(chunk)) {
        refusals_.add(Refusal::LoopGuard);
        return Outcome::GoOn;
    }

    // Refused packets count too: at most "Packets/min" less one go out in a
    // window.
    if (packetsThisMinute_ < INT16_MAX)
        ++packetsThisMinute_;
    if (s.number(Settings::PacketsMin) <= packetsThisMinute_) {
        refusals_.add(Refusal::RateLimit);
        return Outcome::GoOn;
    }

    log_.appendLog(QStringLiteral("\\Logs_Kestrel\\Inet_RF.txt"),
                   {QStringLiteral("Port:") + s.text(Settings::IGateRfPort) + QLatin1Char(' ') +
                        s.text(Settings::OwnCall) + QStringLiteral(">APKR02:"),
                    QLatin1Char('}') + chunk});
    mailbox_.transmitText(QStringLiteral(":}") + chunk);
    texts_.bump(StateTexts::InetToRf);
    texts_.bump(StateTexts::RfTx);
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
                            QLocale::system().toString(clock_.now(), QLocale::ShortFormat) +
                            QLatin1Char('>') + QString::fromLocal8Bit(e.what()) +
                            QStringLiteral("(0) nivel=") + QString::number(stage)});
    }
}

void InetToRfGate::tick(int &stage)
{
    if (link_.receiveOnly())
        return;
    announcer_.countSecond();
    if (++secondsIntoMinute_ >= 60) {
        secondsIntoMinute_ = 0;
        packetsThisMinute_ = 0;
    }
    const Settings &s = settings_;
    QString status;
    if (s.number(Settings::IGateRfPort) == 0)
        status = QStringLiteral("Disabled");
    else if (s.number(Settings::PacketsMin) <= packetsThisMinute_)
        status = QStringLiteral("RF Limit! Time:") + QString::number(secondsIntoMinute_);
    else
        status =
            QStringLiteral("Packets:%1 Time:%2").arg(packetsThisMinute_).arg(secondsIntoMinute_);
    texts_.set(StateTexts::InetToRfStatus, status);

    stage = 1;
    announcer_.announceIfDue();
}

} // namespace kestrel
