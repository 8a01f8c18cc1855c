// Fuzz target for the status page: a template and the texts that come from
// RF, APRS-IS and visitors, NUL-separated in the input (template,
// connection, record, Mic-E text, ISS line, visitor, MHeard rows, gated
// rows; rows LF-separated). Whatever those texts hold, they add no markup:
// the page has as many "<", ">" and '"' as the page made from the same texts
// with those characters replaced.

#include "fuzzcheck.h"
#include "web/statuspage.h"

#include <QList>
#include <array>
#include <cstdint>

using namespace kestrel;

namespace {
QString defused(QString s)
{
    for (QChar &c : s)
        if (c == u'<' || c == u'>' || c == u'"')
            c = u'_';
    return s;
}

QStringList rows(const QString &s)
{
    return s.isEmpty() ? QStringList() : s.split(u'\n');
}

QByteArray page(const QByteArray &templ, const QList<QString> &parts, QString (*f)(QString))
{
    const auto part = [&](int i) { return i < parts.size() ? f(parts[i]) : QString(); };
    statuspage::Values v;
    // The operator's own texts are the page's and go in as written.
    v.callSign = QStringLiteral("N1IGT-10");
    v.mhExpTime = QStringLiteral("2");
    v.comments = QStringLiteral("<b>Welcome</b>");
    v.beacon = QStringLiteral("!4903.50N/07201.75W-Test");
    v.dateTime = QStringLiteral("06/12/2026 18:00:00");
    v.lookupHost = QStringLiteral("www.example.org");
    v.connection = part(1);
    v.record = part(2);
    v.micE = part(3);
    v.issLine = part(4);
    v.visitor = part(5);
    return statuspage::render(templ, v, rows(part(6)), rows(part(7)));
}

QString same(QString s)
{
    return s;
}

std::array<qsizetype, 3> markup(const QByteArray &page)
{
    return {page.count('<'), page.count('>'), page.count('"')};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> fields = input.split('\0');
    const QByteArray templ = fields.value(0);
    QList<QString> parts;
    for (const QByteArray &f : fields)
        parts << QString::fromLatin1(f);

    const QByteArray as = page(templ, parts, same);
    const QByteArray defusedPage = page(templ, parts, defused);
    if (markup(as) != markup(defusedPage))
        fail("a text from outside added markup to the page", input);
    return 0;
}
