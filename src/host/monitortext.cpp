#include "host/monitortext.h"

#include <algorithm>

namespace kestrel {

std::optional<MonitorText> MonitorText::parse(const QString &text)
{
    MonitorText m;
    // The port: blanks, then digits, within the first three characters.
    const QString head = text.left(3);
    qsizetype i = 0;
    while (i < head.size() && head[i] == u' ')
        ++i;
    while (i < head.size() && head[i].isDigit() && head[i].unicode() < 0x80)
        m.port = m.port * 10 + head[i++].digitValue();

    const qsizetype end = text.indexOf(u']');
    const qsizetype fm = text.indexOf(QLatin1String("Fm"));
    const qsizetype to = text.indexOf(QLatin1String("To"));
    const qsizetype lt = text.indexOf(u'<');
    if (end < 0 || fm < 0 || to < fm + 4 || lt < to + 4)
        return std::nullopt;
    m.header = text.left(end + 1);
    m.source = text.mid(fm + 3, to - fm - 4);
    const qsizetype via = m.header.indexOf(QLatin1String("Via"));
    m.hasVia = via >= 0;
    if (m.hasVia) {
        if (via < to + 4 || lt < via + 5)
            return std::nullopt;
        m.destination = text.mid(to + 3, via - to - 4);
        m.via = QLatin1Char(',') + text.mid(via + 4, lt - via - 5);
    } else {
        m.destination = text.mid(to + 3, lt - to - 4);
    }
    // What follows the header and its carriage return, byte for byte, up to
    // the line's end: a second line would go to APRS-IS as a packet of its
    // own, and a copy changed in any other way is a different packet there.
    QString info = text.mid(end + 1);
    if (info.startsWith(u'\r'))
        info.remove(0, 1);
    const auto lineEnd =
        std::find_if(info.cbegin(), info.cend(), [](QChar c) { return c == u'\r' || c == u'\n'; });
    info.truncate(lineEnd - info.cbegin());
    m.information = info;
    return m;
}

QString MonitorText::frameLine() const
{
    return source + QLatin1Char('>') + destination + via + QLatin1Char(':') + information;
}

} // namespace kestrel
