#include "core/programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace kestrel {

ProgramFolder::ProgramFolder(const QString &path)
    : path_(QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath())))
{
}

QString ProgramFolder::resolve(const QString &relative) const
{
    return resolveUnder(path_, relative);
}

QString ProgramFolder::resolveUnder(const QString &folder, const QString &relative)
{
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    QString current = QDir::fromNativeSeparators(folder);
    for (const QString &part : relative.split(separators, Qt::SkipEmptyParts)) {
        QString next = current + QLatin1Char('/') + part;
        if (!QFileInfo::exists(next)) {
            const QStringList entries = QDir(current).entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString &entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    next = current + QLatin1Char('/') + entry;
                    break;
                }
            }
        }
        current = next;
    }
    return QDir::toNativeSeparators(current);
}

} // namespace kestrel
