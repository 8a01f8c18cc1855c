#include "aprs/issobject.h"

#include "core/text.h"

#include <QRegularExpression>

namespace kestrel::iss {

namespace {

const QString kHeader = QStringLiteral(";ISS      *");
const QChar kOrdinal(0x00BA); // the line has always used º, not the degree sign

QString timeStamp(QTime utc)
{
    // Hours, minutes and seconds in UTC: the object format's "h" form.
    return utc.toString(QStringLiteral("HHmmss")) + QLatin1Char('h');
}

} // namespace

std::optional<position::Text> positionFromPage(const QByteArray &page, QString *why)
{
    const auto failed = [why](const QString &reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    static const QByteArray kRaw = "Raw packet:";
    qsizetype at = page.indexOf(kRaw);
    if (at < 0)
        return failed(QStringLiteral("the page has no \"Raw packet:\" line"));
    const qsizetype lineEnd = page.indexOf('\n', at);
    const QString raw =
        text::fromBytes(page.mid(at + kRaw.size(), lineEnd < 0 ? -1 : lineEnd - at - kRaw.size()))
            .left(200);
    const qsizetype object = raw.indexOf(QStringLiteral(";ISS"));
    if (object < 0)
        return failed(QStringLiteral("the raw packet line holds no \";ISS\" object"));
    const QString field = raw.mid(object, 200).mid(18, 18);
    if (field.size() < 18)
        return failed(QStringLiteral("the ISS object ends before its position: ") +
                      text::printable(raw.mid(object, 80)));
    const qsizetype slash = field.indexOf(QLatin1Char('\\'));
    if (slash < 0)
        return failed(QStringLiteral("the ISS position has no \"\\\" between latitude and "
                                     "longitude: ") +
                      text::printable(field));
    position::Text p{field.left(slash), field.mid(slash + 1)};
    static const QRegularExpression latitude(QStringLiteral("^\\d{4}\\.\\d{2}[NS]$"));
    static const QRegularExpression longitude(QStringLiteral("^\\d{5}\\.\\d{2}[EW]$"));
    if (!latitude.match(p.latitude).hasMatch() || !longitude.match(p.longitude).hasMatch())
        return failed(QStringLiteral("the ISS position cannot be read: ") + text::printable(field));
    return p;
}

QString objectText(const position::Text &p, QTime utc)
{
    return kHeader + timeStamp(utc) + p.latitude + QLatin1Char('\\') + p.longitude +
           QStringLiteral("SInternational Space Station");
}

QString displayText(const position::Text &p, QTime utc)
{
    return kHeader + timeStamp(utc) + QLatin1Char(' ') + p.latitude + QLatin1Char('\\') +
           p.longitude + QStringLiteral("S International Space Station");
}

QString line(double km, int azimuth, int elevation)
{
    return QStringLiteral("%1km/%2mi Az:%3%5 El:%4%5")
        .arg(text::roundHalfEven(km))
        .arg(text::roundHalfEven(km * 0.621371192237334))
        .arg(azimuth)
        .arg(elevation)
        .arg(kOrdinal);
}

} // namespace kestrel::iss
