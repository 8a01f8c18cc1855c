#pragma once

#include "core/clock.h"
#include "core/programfolder.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

namespace kestrel {

// The station's files of record: errors.txt, and the activity logs under
// Logs_Kestrel, each entry opened, appended and closed. A log that cannot
// be written is said once in errors.txt, and again when it can be.
class ActivityLog
{
public:
    ActivityLog(const ProgramFolder &folder, Clock &clock) : folder_(folder), clock_(clock) {}

    // Appends a line to errors.txt: its own first word, the time, the text.
    void logError(const QString &word, const QString &message);
    // Appends lines to a log under the program folder.
    bool appendLog(const QString &relative, const QStringList &lines);
    // Each activity log is kept under this size by dropping its older half
    // (0: no limit). errors.txt is never cut.
    void setLimitKb(qint64 kb) { limitKb_ = kb; }
    // Each line written to errors.txt is also handed here, without its stamp
    // (headless, to standard error).
    void setErrorEcho(std::function<void(const QString &)> echo) { echo_ = std::move(echo); }

private:
    const ProgramFolder &folder_;
    Clock &clock_;
    qint64 limitKb_ = 0;
    QSet<QString> failing_; // logs that could not be written last time
    std::function<void(const QString &)> echo_;
};

} // namespace kestrel
