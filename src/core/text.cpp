#include "core/text.h"

#include <cmath>

namespace kestrel::text {

qsizetype instr(const QString &s, const QString &what)
{
    return s.indexOf(what) + 1;
}

QString mid(const QString &s, qsizetype start, qsizetype length)
{
    if (start < 1)
        start = 1;
    if (start > s.size())
        return {};
    return s.mid(start - 1, length < 0 ? -1 : length);
}

QString left(const QString &s, qsizetype n)
{
    return n <= 0 ? QString() : s.left(n);
}

double numericValue(const QString &s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    QString number;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+'))
        number += s[i++];
    bool point = false;
    bool digits = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c >= u'0' && c <= u'9') {
            number += c;
            digits = true;
        } else if (c == u'.' && !point) {
            number += c;
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

long long roundHalfEven(double v)
{
    if (!std::isfinite(v))
        return 0;
    const double r = std::nearbyint(v); // the default rounding mode rounds halves to even
    if (r >= 9.2e18)
        return 9'200'000'000'000'000'000LL;
    if (r <= -9.2e18)
        return -9'200'000'000'000'000'000LL;
    return static_cast<long long>(r);
}

QStringList splitLines(const QByteArray &content)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = content.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = content[i];
        if (c == '\r' || c == '\n') {
            lines << QString::fromLatin1(content.constData() + start, i - start);
            if (c == '\r' && i + 1 < n && content[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines << QString::fromLatin1(content.constData() + start, n - start);
    return lines;
}

QString printable(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (const QChar c : s) {
        const ushort u = c.unicode();
        if (u == '\\')
            out += QStringLiteral("\\\\");
        else if (u == '\r')
            out += QStringLiteral("\\r");
        else if (u == '\n')
            out += QStringLiteral("\\n");
        else if (u < 0x20 || u == 0x7f)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString stamp(const QDateTime &t)
{
    const QDate d = t.date();
    const QTime h = t.time();
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.year() % 100, 2, 10, QLatin1Char('0'))
        .arg(h.hour(), 2, 10, QLatin1Char('0'))
        .arg(h.minute(), 2, 10, QLatin1Char('0'))
        .arg(h.second(), 2, 10, QLatin1Char('0'));
}

QDateTime parseStamp(const QString &s)
{
    // DD-MM-YY HH:MM:SS, two-digit years of this century.
    static const QString shape = QStringLiteral("99-99-99 99:99:99");
    if (s.size() != shape.size())
        return {};
    for (qsizetype i = 0; i < s.size(); ++i)
        if (shape[i] == u'9' ? !s[i].isDigit() || s[i].unicode() > 0x7f : s[i] != shape[i])
            return {};
    const auto field = [&s](qsizetype at) { return s.mid(at, 2).toInt(); };
    const QDate date(2000 + field(6), field(3), field(0));
    const QTime time(field(9), field(12), field(15));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

} // namespace kestrel::text
