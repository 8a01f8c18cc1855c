#include "aprsis/announcer.h"

#include "aprsis/link.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "core/textlist.h"

#include <algorithm>
#include <cstdint>

namespace kestrel {

QList<AnnouncementLine> announcementLines(const Settings &settings, const QString &dx)
{
    QList<AnnouncementLine> lines;
    if (settings.isOn(Settings::InetBeacon)) {
        // Without a beacon text of its own the station has no position to send.
        const QString beacon = settings.text(Settings::InternetBeaconText);
        if (!beacon.isEmpty())
            lines.append({beacon, 1});
        const bool addDx = settings.isOn(Settings::AddDx);
        QString status = settings.text(Settings::StatusText);
        if (addDx && !dx.isEmpty())
            status += QStringLiteral(" DX:") + dx;
        lines.append({QLatin1Char('>') + status, addDx ? 1 : 0});
    }
    if (settings.isOn(Settings::SendBull))
        lines.append({QStringLiteral(":BLN      :") + settings.text(Settings::BulletinText), 1});
    return lines;
}

Announcer::Announcer(const Settings &settings, StateTexts &texts, TextList &internetList,
                     AprsIsLink &link)
    : settings_(settings), texts_(texts), internetList_(internetList), link_(link)
{
}

void Announcer::restartCountdown()
{
    secondsToAnnouncement_ = static_cast<qint32>(std::clamp<long long>(
        text::roundHalfEven(settings_.number(Settings::Interval) - 10), INT32_MIN, INT32_MAX));
}

void Announcer::countSecond()
{
    if (secondsToAnnouncement_ < INT32_MAX)
        ++secondsToAnnouncement_;
}

void Announcer::announceIfDue()
{
    if (settings_.number(Settings::Interval) <= secondsToAnnouncement_) {
        announce();
        secondsToAnnouncement_ = 0;
    }
}

void Announcer::announce()
{
    // Nothing goes to the server before the login.
    if (!link_.loggedIn())
        return;
    const QString head = settings_.text(Settings::OwnCall) + QStringLiteral(">APKR02,APRS:");
    // Counted and listed, then sent: the lines stay listed if a send fails,
    // and a failed send ends the run (the link's teardown follows by itself).
    for (const AnnouncementLine &line :
         announcementLines(settings_, texts_.text(StateTexts::DxText))) {
        for (int i = 0; i < line.inetTx; ++i)
            texts_.bump(StateTexts::InetTx);
        internetList_.append(head);
        internetList_.append(line.information);
        if (!link_.send(text::toBytes(head + line.information + QStringLiteral("\r\n"))))
            return;
    }
}

} // namespace kestrel
