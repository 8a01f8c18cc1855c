#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

// The status page: the station owner's template with its placeholders
// filled, then the table of stations heard and the last frames gated.
namespace kestrel::statuspage {

struct Values
{
    // The operator's own texts, inserted as written.
    QString callSign;
    QString mhExpTime;
    QString comments;
    QString beacon; // the Internet beacon text
    QString dateTime;
    // Texts from RF, APRS-IS or the link, escaped on the way in.
    QString connection;
    QString record;
    QString micE;
    QString issLine;
    QString visitor;
    // Where a station's call links to: the look-up service's host.
    QString lookupHost;
    // The coming passes, one a line, and the report of the last one.
    QString passes;
    QString lastPass;
};

// The date and the time to the second, as the station's locale writes them:
// its short date and its time without the time zone.
QString dateTime(const QDateTime &when, const QLocale &locale);

// `&`, `<`, `>` and `"` as character references.
QString escape(const QString &text);

// The template pass: each line with the placeholders of its first "#V"
// tag filled, the lines joined without line ends.
QString fillTemplate(const QByteArray &page, const Values &v);

// What follows the template: the stations heard and the last frames gated.
QString tables(const QStringList &mheard, const QStringList &gated, const QString &lookupHost);

// The whole page, Latin-1 as the template is read.
QByteArray render(const QByteArray &page, const Values &v, const QStringList &mheard,
                  const QStringList &gated);

// A short page for a station whose template cannot be read.
QByteArray missingTemplatePage(const QString &why);

} // namespace kestrel::statuspage
