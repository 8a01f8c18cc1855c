#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace kestrel {

// The web services the station uses, from the optional services.ini in the
// program folder (section [services]). kestrel.ini keeps its fixed layout,
// so they live apart. A missing file or key means the default.
struct Services
{
    QString aprsLookupHost = QStringLiteral("www.findu.com"); // serves /cgi-bin/find.cgi?...
    QString callbookHost = QStringLiteral("www.qrz.com");     // serves /db/...
    QString siteUrl;                                          // empty: no site link
    // The activity logs in Logs_Kestrel are kept under this many kB each by
    // dropping their oldest half; 0: no limit.
    qint64 logLimitKb = 0;
    static constexpr qint64 kMaxLogLimitKb = 1024 * 1024; // 1 GiB

    // The satellites whose passes are followed, by name as elements.txt
    // names them, each with the call it digipeats under (empty: none).
    struct Satellite
    {
        QString name;
        QString call;
        bool operator==(const Satellite &) const = default;
    };
    QList<Satellite> satellites{{QStringLiteral("ISS"), QStringLiteral("RS0ISS")}};
    // Fetched once a day into elements.txt; empty: never.
    QString elementsUrl;
    // Where the ISS object's position comes from: the look-up service, the
    // elements, or the look-up with the elements when it fails.
    enum class IssSource
    {
        Lookup,
        Elements,
        Both
    };
    IssSource issSource = IssSource::Lookup;

    // "ISS, SO-50:SO50" (a name, and the call after a colon): the list, or
    // nothing with `why` when an item is neither. The ISS digipeats as
    // RS0ISS unless another call is given.
    static QList<Satellite> satellitesFrom(const QString &text, QString *why = nullptr);

    // `problems` gets a line for each thing in the file that was not used.
    static Services read(const QString &path, QStringList *problems = nullptr);

    // An address on a host given as "name" or "name:port" (a scheme in
    // front is kept), with the path and query appended.
    static QUrl address(const QString &host, const QString &pathAndQuery);
};

} // namespace kestrel
