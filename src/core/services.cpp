#include "core/services.h"

#include <QFileInfo>
#include <QSettings>

namespace kestrel {

Services Services::read(const QString &path, QStringList *problems)
{
    Services s;
    if (!QFileInfo::exists(path))
        return s;
    const auto problem = [problems](const QString &text) {
        if (problems)
            problems->append(text);
    };
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        problem(QStringLiteral("%1 cannot be read as a settings file; the defaults are used")
                    .arg(path));
        return s;
    }
    file.beginGroup(QStringLiteral("services"));
    const auto take = [&](const char *key, QString &into, bool mayBeEmpty) {
        const QString name = QString::fromLatin1(key);
        if (!file.contains(name))
            return;
        const QString value = file.value(name).toString().trimmed();
        if (value.isEmpty() && !mayBeEmpty) {
            problem(
                QStringLiteral("%1: %2 is empty; the default %3 is used").arg(path, name, into));
            return;
        }
        into = value;
    };
    take("aprs_lookup_host", s.aprsLookupHost, false);
    take("callbook_host", s.callbookHost, false);
    take("site_url", s.siteUrl, true);
    QString limit;
    take("log_limit_kb", limit, true);
    if (!limit.isEmpty()) {
        bool ok = false;
        const qint64 kb = limit.toLongLong(&ok);
        if (ok && kb >= 0 && kb <= kMaxLogLimitKb)
            s.logLimitKb = kb;
        else
            problem(QStringLiteral("%1: log_limit_kb \"%2\" is not a size in kB from 0 to %3; "
                                   "the logs are not limited")
                        .arg(path, limit)
                        .arg(kMaxLogLimitKb));
    }
    return s;
}

QUrl Services::address(const QString &host, const QString &pathAndQuery)
{
    QString base = host.contains(QStringLiteral("://")) ? host : QStringLiteral("http://") + host;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return QUrl(base + pathAndQuery, QUrl::TolerantMode);
}

} // namespace kestrel
