#pragma once

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

    // `problems` gets a line for each thing in the file that was not used.
    static Services read(const QString &path, QStringList *problems = nullptr);

    // An address on a host given as "name" or "name:port" (a scheme in
    // front is kept), with the path and query appended.
    static QUrl address(const QString &host, const QString &pathAndQuery);
};

} // namespace kestrel
