#include "core/services.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <algorithm>

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
        // A comma makes a list of the value; it is one text here.
        const QVariant raw = file.value(name);
        const QString value =
            (raw.typeId() == QMetaType::QStringList ? raw.toStringList().join(QLatin1Char(','))
                                                    : raw.toString())
                .trimmed();
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
    take("elements_url", s.elementsUrl, true);
    QString source;
    take("iss_source", source, true);
    source = source.toLower();
    const QStringList sources{QStringLiteral("lookup"), QStringLiteral("elements"),
                              QStringLiteral("both")};
    if (!source.isEmpty() && !sources.contains(source))
        problem(QStringLiteral("%1: iss_source \"%2\" is not lookup, elements or both; the "
                               "look-up service is used")
                    .arg(path, source));
    else if (!source.isEmpty())
        s.issSource = IssSource(sources.indexOf(source));
    // Empty: no satellite is followed.
    QString followed = QStringLiteral("ISS");
    take("satellites", followed, true);
    QString why;
    const QList<Satellite> list = satellitesFrom(followed, &why);
    if (list.isEmpty() && !followed.isEmpty())
        problem(QStringLiteral("%1: satellites: %2; the ISS is followed").arg(path, why));
    else
        s.satellites = list;
    if (s.issSource != IssSource::Lookup &&
        std::none_of(s.satellites.begin(), s.satellites.end(), [](const Satellite &f) {
            return f.name.compare(QLatin1String("ISS"), Qt::CaseInsensitive) == 0;
        }))
        problem(QStringLiteral("%1: iss_source is %2, but satellites does not name the ISS; "
                               "its position cannot be computed")
                    .arg(path, source));
    return s;
}

QList<Services::Satellite> Services::satellitesFrom(const QString &text, QString *why)
{
    static const QRegularExpression call(QStringLiteral("^[A-Z0-9]{1,6}(-([1-9]|1[0-5]))?$"));
    QList<Satellite> list;
    if (text.trimmed().isEmpty())
        return list;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QString name = item.section(QLatin1Char(':'), 0, 0).trimmed();
        QString digi = item.section(QLatin1Char(':'), 1).trimmed().toUpper();
        if (name.isEmpty() || (!digi.isEmpty() && !call.match(digi).hasMatch())) {
            if (why)
                *why = QStringLiteral("\"%1\" is not NAME or NAME:CALL").arg(item.trimmed());
            return {};
        }
        if (digi.isEmpty() && name.compare(QLatin1String("ISS"), Qt::CaseInsensitive) == 0)
            digi = QStringLiteral("RS0ISS");
        // A name given twice is followed once.
        if (std::none_of(list.begin(), list.end(), [&](const Satellite &s) {
                return s.name.compare(name, Qt::CaseInsensitive) == 0;
            }))
            list.append({name, digi});
    }
    return list;
}

QUrl Services::address(const QString &host, const QString &pathAndQuery)
{
    QString base = host.contains(QStringLiteral("://")) ? host : QStringLiteral("http://") + host;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return QUrl(base + pathAndQuery, QUrl::TolerantMode);
}

} // namespace kestrel
