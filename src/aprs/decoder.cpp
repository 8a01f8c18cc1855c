#include "aprs/decoder.h"

#include "core/text.h"

namespace kestrel::decoder {

namespace {
// The working text counts from 1 at the colon before the information field.
QChar at(const QString &work, qsizetype position)
{
    return position >= 1 && position <= work.size() ? work[position - 1] : QChar();
}

// An NMEA coordinate field ("ddmm.mmm", "dddmm.mmmm", as many decimals as
// the receiver gives) and its hemisphere field, in the form the distance
// reads by fixed places: minutes cut to two decimals, never rounded.
QString nmeaCoordinate(const QString &value, const QString &hemisphere, int degreeDigits)
{
    const qsizetype dot = value.indexOf(u'.');
    const QString whole = dot < 0 ? value : value.left(dot);
    if (whole.isEmpty() || whole.size() > degreeDigits + 2 || hemisphere.isEmpty())
        return {};
    const QString decimals = dot < 0 ? QString() : value.mid(dot + 1, 2);
    return whole.rightJustified(degreeDigits + 2, u'0') + u'.' + decimals.leftJustified(2, u'0') +
           hemisphere[0];
}

// Latitude and longitude from the NMEA fields at `from` onwards; none
// unless both are there.
position::Text nmeaPosition(const QStringList &fields, qsizetype from)
{
    if (fields.size() < from + 4)
        return {};
    position::Text p{nmeaCoordinate(fields[from], fields[from + 1], 2),
                     nmeaCoordinate(fields[from + 2], fields[from + 3], 3)};
    if (p.latitude.isEmpty() || p.longitude.isEmpty())
        return {};
    return p;
}
} // namespace

bool Result::accepted() const
{
    return !position.latitude.isEmpty() &&
           text::numericValue(position.latitude) + text::numericValue(position.longitude) != 0;
}

Result decode(const QString &frameLine, const QString &via, bool onlyDirect)
{
    Result r;
    if (via.contains(u'*') && onlyDirect)
        return r;
    const qsizetype gt = frameLine.indexOf(u'>');
    if (gt < 0)
        return r;
    r.source = frameLine.left(gt);
    const qsizetype colon = frameLine.indexOf(u':');
    if (colon < 0)
        return r;
    QString work = frameLine.mid(colon, 100);
    const QChar type = at(work, 2);

    if (type == u'/' && at(work, 10) == u'/') {
        // Compressed with a time stamp: without the stamp it reads as one
        // without.
        work = work.mid(7);
        if (const auto p = position::compressed(work.mid(3, 8)))
            r.position = *p;
        r.compressed = true;
        r.timeStamped = true;
        return r;
    }
    if (type == u'!' || type == u'=') {
        if (at(work, 3) == u'/' || at(work, 3) == u'\\') {
            if (const auto p = position::compressed(work.mid(3, 8)))
                r.position = *p;
            r.compressed = true;
            return r;
        }
        r.kind = Kind::Position;
        if (work.size() >= 20)
            r.position = {text::mid(work, 3, 8), text::mid(work, 12, 9)};
        return r;
    }
    if (type == u';') {
        r.kind = Kind::Object;
    } else if (type == u'$') {
        r.kind = Kind::Nmea;
        const QString sentence = text::mid(work, 2, 6);
        // $GPRMC,time,status,lat,N,lon,E,...  $GPGGA,time,lat,N,lon,E,...
        if (sentence == QLatin1String("$GPRMC"))
            r.position = nmeaPosition(work.split(u','), 3);
        else if (sentence == QLatin1String("$GPGGA"))
            r.position = nmeaPosition(work.split(u','), 2);
    } else if (type == u'`') {
        r.kind = Kind::MicE;
        const position::MicE m = position::micE(frameLine.mid(gt + 1, 6), work.mid(1));
        r.position = {m.latitude, m.longitude};
        if (!m.line.isEmpty())
            r.micELine = m.line;
        if (m.longitude.isEmpty())
            r.position.latitude.clear();
    } else if (type == u':') {
        r.kind = Kind::Message;
    } else if (type == u'@') {
        r.kind = Kind::Weather;
    }
    return r;
}

} // namespace kestrel::decoder
