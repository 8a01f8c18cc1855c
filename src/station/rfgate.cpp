#include "station/rfgate.h"

#include "aprs/decoder.h"
#include "aprsis/link.h"
#include "core/activitylog.h"
#include "core/clock.h"
#include "core/refusal.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "core/textlist.h"
#include "host/monitortext.h"

namespace kestrel {

namespace {
// A number as the display has always written it: no trailing zeros, and a
// blank in front when it is not negative.
QString signSpaced(double v)
{
    const QString n = QString::number(v, 'g', 12);
    return v < 0 ? n : QLatin1Char(' ') + n;
}
} // namespace

RfGate::RfGate(const Settings &settings, StateTexts &texts, RefusalCounts &refusals,
               ActivityLog &log, Clock &clock, RfLists lists, AprsIsLink &link)
    : settings_(settings), texts_(texts), refusals_(refusals), log_(log), clock_(clock),
      lists_(lists), link_(link)
{
}

bool RfGate::pass(const QString &frame)
{
    if (!frame.contains(QLatin1String("Fm")))
        return false;
    texts_.bump(StateTexts::RfRx);
    const QString time = text::stamp(clock_.now());
    const auto parsed = MonitorText::parse(frame);
    if (!parsed) {
        // Not a frame the host could have heard: logged, and nothing more.
        refusals_.add(Refusal::MalformedFrame);
        log_.appendLog(QStringLiteral("\\errors.txt"),
                       {QStringLiteral("Error_timer6 Time:") + time,
                        QStringLiteral("Error_timer6 Packet:") + frame});
        return false;
    }
    const MonitorText &m = *parsed;
    const QString own = settings_.text(Settings::OwnCall);
    if (m.hasVia && frame.contains(own)) {
        refusals_.add(Refusal::OwnCallInPath);
        return false;
    }
    if (m.source != own)
        show(m);
    if (m.source == own) {
        refusals_.add(Refusal::OwnCall);
        return false;
    }
    if (m.information.startsWith(u'}')) {
        refusals_.add(Refusal::ThirdParty);
        return false;
    }
    updateMHeard(m, m.via.contains(u'*') ? m.via.mid(1, 50) : QString());
    if (!gateable(m))
        return false;

    const QString header = m.source + QLatin1Char('>') + m.destination + m.via +
                           QStringLiteral(",qAR,") + own + QLatin1Char(':');
    const QByteArray line = text::toBytes(header + m.information + QStringLiteral("\r\n"));
    if (line.size() > kMaxLine) {
        refusals_.add(Refusal::OverlongLine);
        return false;
    }
    if (!link_.send(line))
        return false;
    lists_.igated.append(header);
    lists_.igated.append(m.information);
    texts_.bump(StateTexts::RfToInet);
    if (settings_.isOn(Settings::LogIGated))
        log_.appendLog(QStringLiteral("\\Logs_Kestrel\\igated.txt"), {header, m.information});
    return true;
}

bool RfGate::gateable(const MonitorText &m)
{
    const Settings &s = settings_;
    const auto refuse = [this](Refusal r) {
        refusals_.add(r);
        return false;
    };
    // Before the login the link is as good as down.
    if (texts_.text(StateTexts::ConnectionState).contains(QLatin1String("DISCONNECTED")) ||
        !link_.loggedIn())
        return refuse(Refusal::Disconnected);
    if (s.text(Settings::RfPortIGate) != QLatin1String("All") &&
        m.port != s.number(Settings::RfPortIGate))
        return refuse(Refusal::Port);
    if (!s.isOn(Settings::DigiAll) && !s.digiList().contains(m.source))
        return refuse(Refusal::CallList);
    if (s.isOn(Settings::GateOnlyDirect) && (m.via.isEmpty() || m.via.contains(u'*')))
        return refuse(Refusal::NotDirect);
    if (m.information.isEmpty())
        return refuse(Refusal::EmptyInformation);
    for (const QString &part : m.via.split(u',', Qt::SkipEmptyParts)) {
        const QString call = part.endsWith(u'*') ? part.chopped(1) : part;
        if (call == QLatin1String("TCPIP") || call == QLatin1String("TCPXX") ||
            call == QLatin1String("NOGATE") || call == QLatin1String("RFONLY"))
            return refuse(Refusal::NoGate);
    }
    if (m.information.startsWith(u'?'))
        return refuse(Refusal::Query);
    return true;
}

void RfGate::updateMHeard(const MonitorText &m, const QString &heardPath)
{
    const QString row =
        m.source.leftJustified(10, u' ') + text::stamp(clock_.now()) + QLatin1Char(' ') + heardPath;
    TextList &list = lists_.mheard;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (text::stationOf(list.at(i)) != m.source)
            continue;
        // Once heard direct, a station keeps its direct row until it expires.
        if (!heardPath.isEmpty() && text::mid(list.at(i), 29, 50).isEmpty())
            return;
        list.replace(i, row);
        return;
    }
    list.append(row);
}

void RfGate::show(const MonitorText &m)
{
    const decoder::Result r =
        decoder::decode(m.frameLine(), m.via, settings_.isOn(Settings::OnlyDirect));
    if (r.micELine)
        texts_.set(StateTexts::MicELine, *r.micELine);
    // Until it is measured, a compressed position without a time stamp says
    // what it is; one with a stamp has always gone unannounced.
    if (r.compressed && !r.timeStamped)
        texts_.set(StateTexts::LastStation, QStringLiteral("Comprimida"));
    if (!r.accepted())
        return;
    if (r.kind != decoder::Kind::MicE)
        texts_.set(StateTexts::MicELine, QString());
    // Without a position of its own the station measures nothing.
    const QString beacon = settings_.text(Settings::InternetBeaconText);
    const auto bearing = position::distance(beacon.mid(1, 18), r.position);
    if (!bearing)
        return;
    const double km = bearing->km;
    const int az = bearing->degrees.value_or(0);
    const QString last = r.source + QLatin1Char(' ') + signSpaced(km) + QStringLiteral("km ") +
                         signSpaced(az) + QStringLiteral("\u00b0");
    texts_.set(StateTexts::LastStation, last);
    const QString row = r.source.leftJustified(10, u' ') + QString::number(km, 'g', 12) +
                        QStringLiteral("km ") + QString::number(az) + QStringLiteral("\u00b0");
    TextList &list = lists_.positions;
    qsizetype at = -1;
    for (qsizetype i = 0; i < list.size() && at < 0; ++i)
        if (list.at(i).left(9).trimmed() == r.source.trimmed())
            at = i;
    if (at >= 0)
        list.replace(at, row);
    else
        list.append(row);
    if (km >= farthestKm_) {
        farthestKm_ = km;
        texts_.set(StateTexts::DxText, last);
    }
}

void RfGate::expiry()
{
    const QDateTime now = clock_.now();
    const qint64 limit = static_cast<qint64>(settings_.number(Settings::MHExpTime) * 60);
    // Minute boundaries between two times, as a wall clock counts them.
    const auto minutes = [](const QDateTime &t) {
        return t.toSecsSinceEpoch() / 60 - (t.toSecsSinceEpoch() % 60 < 0 ? 1 : 0);
    };
    TextList &mheard = lists_.mheard;
    int unreadable = 0;
    for (qsizetype i = 0; i < mheard.size();) {
        const QDateTime heard = text::parseStamp(text::mid(mheard.at(i), 11, 17));
        // A row whose time cannot be read is as old as can be.
        if (heard.isValid() && minutes(now) - minutes(heard) < limit) {
            ++i;
            continue;
        }
        unreadable += heard.isValid() ? 0 : 1;
        const QString call = mheard.at(i).left(9).trimmed();
        for (qsizetype p = 0; p < lists_.positions.size(); ++p) {
            if (text::stationOf(lists_.positions.at(p)) == call) {
                lists_.positions.removeAt(p);
                break;
            }
        }
        mheard.removeAt(i);
    }
    if (unreadable > 0)
        log_.logError(
            QStringLiteral("MHeard"),
            QStringLiteral("%1 row(s) dropped whose time heard cannot be read").arg(unreadable));
    recomputeDx();
}

void RfGate::recomputeDx()
{
    double best = 0;
    QString row;
    for (const QString &r : lists_.positions.rows()) {
        // The whole figure after the call's 10 characters, 10,000 km and on too.
        const double km = text::numericValue(text::mid(r, 11));
        if (km > best) {
            best = km;
            row = r;
        }
    }
    texts_.set(StateTexts::DxText, best > 0 ? row : QString());
}

} // namespace kestrel
