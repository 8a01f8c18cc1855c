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
    // Logs and the status page resolve the same few names for every line and
    // every visit: each part's look-up is a file system call or a listing.
    if (const auto it = found_.constFind(relative); it != found_.cend() && QFileInfo::exists(*it))
        return *it;
    const QString resolved = resolveUnder(path_, relative);
    if (QFileInfo::exists(resolved) && found_.size() < kMaxFound)
        found_.insert(relative, resolved);
    else
        found_.remove(relative);
    return resolved;
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
