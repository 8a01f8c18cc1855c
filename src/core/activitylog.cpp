#include "core/activitylog.h"

#include "core/files.h"
#include "core/text.h"

namespace kestrel {

void ActivityLog::logError(const QString &word, const QString &message)
{
    if (echo_)
        echo_(word + QLatin1Char(' ') + message);
    files::appendLines(
        folder_.resolve(QStringLiteral("\\errors.txt")),
        {word + QLatin1Char(' ') + text::stamp(clock_.now()) + QLatin1Char(' ') + message});
}

bool ActivityLog::appendLog(const QString &relative, const QStringList &lines)
{
    const QString path = folder_.resolve(relative);
    if (echo_ && relative.compare(QLatin1String("\\errors.txt"), Qt::CaseInsensitive) == 0)
        for (const QString &line : lines)
            echo_(line);
    QString error = files::appendLines(path, lines);
    if (error.isEmpty() && limitKb_ > 0 &&
        relative.startsWith(QLatin1String("\\Logs_Kestrel\\"), Qt::CaseInsensitive)) {
        error = files::dropOlderHalf(path, limitKb_ * 1024);
        if (!error.isEmpty())
            error = QStringLiteral("could not drop the older half: ") + error;
    }
    if (error.isEmpty()) {
        if (failing_.remove(path))
            logError(QStringLiteral("Logs"), QStringLiteral("writing ") + path + " again");
        return true;
    }
    if (!failing_.contains(path)) {
        failing_.insert(path);
        logError(QStringLiteral("Logs"), QStringLiteral("could not write ") + path + ": " + error);
    }
    return false;
}

} // namespace kestrel
