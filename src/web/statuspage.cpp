#include "web/statuspage.h"

#include "core/services.h"
#include "core/text.h"

#include <algorithm>

namespace kestrel::statuspage {

namespace {

// Gated frames shown: the last ten, two list rows each.
constexpr qsizetype kGatedRows = 20;

QString quoted(const QString &s)
{
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// The coming passes and the last one's report, a row each.
QString passTable(const QString &passes, const QString &lastPass)
{
    QString out = QStringLiteral("<table border=\"1\"><tr><th>Next passes</th></tr>");
    for (const QString &pass : passes.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out += QStringLiteral("<tr><td>") + escape(pass) + QStringLiteral("</td></tr>");
    if (passes.isEmpty())
        out += QStringLiteral("<tr><td>none known</td></tr>");
    if (!lastPass.isEmpty())
        out += QStringLiteral("<tr><th>Last pass</th></tr><tr><td>") + escape(lastPass) +
               QStringLiteral("</td></tr>");
    return out + QStringLiteral("</table>");
}

// The value of a tag, or nothing when the tag is none of the page's.
std::optional<QString> valueOf(QStringView tag, const Values &v)
{
    if (tag.size() < 3)
        return std::nullopt;
    switch (tag[2].unicode()) {
    case 'M':
        return quoted(v.callSign);
    case 'I':
        return v.issLine.isEmpty() ? QString() : QStringLiteral("ISS >>> ") + escape(v.issLine);
    case 'P':
        return passTable(v.passes, v.lastPass);
    case '1':
        return v.callSign;
    case '2':
        return escape(v.connection);
    case '3':
        return v.mhExpTime;
    case '4':
        return v.comments;
    case '5':
        return v.dateTime;
    case '6':
        return escape(v.record) + QLatin1Char(' ') + escape(v.micE);
    case '7':
        return QString();
    case '8':
        return escape(v.visitor);
    case '9':
        return text::mid(v.beacon, 2, 8);
    case '0':
        return text::mid(v.beacon, 11, 9);
    default:
        return std::nullopt;
    }
}

} // namespace

QString dateTime(const QDateTime &when, const QLocale &locale)
{
    // The long time form is the one with seconds; the zone it adds (in
    // brackets, or after a comma, in some languages) is dropped.
    const QString longTime = locale.timeFormat(QLocale::LongFormat);
    QString format;
    bool literal = false;
    for (const QChar c : longTime) {
        if (c == u'\'')
            literal = !literal;
        if (literal || c != u't')
            format += c;
    }
    format.remove(QStringLiteral("()"));
    format.remove(QStringLiteral("[]"));
    const auto loose = [](QChar c) { return c.isSpace() || c == u','; };
    while (!format.isEmpty() && loose(format.back()))
        format.chop(1);
    while (!format.isEmpty() && loose(format.front()))
        format.remove(0, 1);
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), format);
}

QString escape(const QString &text)
{
    const auto special = [](QChar c) { return c == u'&' || c == u'<' || c == u'>' || c == u'"'; };
    if (std::none_of(text.begin(), text.end(), special))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case '"':
            out += QStringLiteral("&quot;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString fillTemplate(const QByteArray &page, const Values &v)
{
    QString out;
    out.reserve(page.size() + 256);
    for (QString line : text::splitLines(page)) {
        const qsizetype at = line.indexOf(QStringLiteral("#V"));
        if (at >= 0) {
            const QString tag = line.mid(at, 3);
            if (const std::optional<QString> value = valueOf(tag, v))
                line.replace(tag, *value);
        }
        out += line;
    }
    return out;
}

QString tables(const QStringList &mheard, const QStringList &gated, const QString &lookupHost)
{
    QString out;
    out.reserve(200 * (mheard.size() + 1) + 80 * kGatedRows);
    out += QStringLiteral("<div align=\"center\"><center><table border=\"1\">"
                          "<tr><th>Station</th><th>Last Heard</th><th>Path</th></tr>");
    const QString lookup =
        escape(Services::address(lookupHost, QStringLiteral("/cgi-bin/find.cgi?"))
                   .toString(QUrl::FullyEncoded));
    for (const QString &row : mheard) {
        const qsizetype blank = row.indexOf(QLatin1Char(' '));
        const QString station = blank < 0 ? QString() : row.left(blank + 1).trimmed();
        QString path = row.mid(28, 64).trimmed();
        QString heard = row;
        if (!station.isEmpty())
            heard.remove(station);
        if (!path.isEmpty())
            heard.remove(path);
        heard = heard.trimmed();
        if (path.isEmpty())
            path = QStringLiteral("Direct");
        out += QStringLiteral("<tr><th><H2><a href=\"") + lookup +
               escape(QString::fromLatin1(QUrl::toPercentEncoding(text::toBytes(station), "-*"))) +
               QStringLiteral("\">") + escape(station) + QStringLiteral("</a></H2></th><th>") +
               escape(heard) + QStringLiteral("</th><th>") + escape(path) +
               QStringLiteral("</th></tr>");
    }
    out += QStringLiteral("</table></center></div><p>Gated Frames:</p>");
    for (qsizetype i = std::max<qsizetype>(0, gated.size() - kGatedRows); i < gated.size(); ++i)
        out += QStringLiteral("<p>") + escape(gated[i]) + QStringLiteral("</p>");
    return out;
}

QByteArray render(const QByteArray &page, const Values &v, const QStringList &mheard,
                  const QStringList &gated)
{
    return text::toBytes(fillTemplate(page, v) + tables(mheard, gated, v.lookupHost));
}

QByteArray missingTemplatePage(const QString &why)
{
    return text::toBytes(QStringLiteral("<html><head><title>Station page</title></head><body>"
                                        "<p>The station's page template cannot be read: ") +
                         escape(why) + QStringLiteral("</p></body></html>"));
}

} // namespace kestrel::statuspage
