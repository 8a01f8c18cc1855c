#pragma once

#include <QString>
#include <QStringList>

// The station's files: logs that are opened, appended to and closed for each
// entry, and lists that are replaced whole. Every line is 8-bit text ended by
// CR LF.
namespace kestrel::files {

// Appends the lines, each with CR LF, creating the file. Returns an empty
// text on success, else what went wrong; a write that fails part way (a full
// disk) is taken back, so the file never ends in half a line.
QString appendLines(const QString &path, const QStringList &lines);

// When the file is larger than limitBytes, drops its older half, cutting
// after a line end, by way of replaceFile. Returns an empty text when the
// file is within the limit or was cut, else what went wrong.
QString dropOlderHalf(const QString &path, qint64 limitBytes);

// Replaces the file by way of a temporary file renamed into place, so the
// old file stays whole if anything goes wrong (a crash, a full disk).
// Returns an empty text on success, else what went wrong.
QString replaceFile(const QString &path, const QByteArray &bytes);

// The rows as file content: each one followed by CR LF.
QByteArray joinLines(const QStringList &rows);

struct LoadedList
{
    bool ok = false;
    QStringList rows;
    QString error;
};
// Creates the file empty when it is missing, then reads its lines in order,
// each one a row, exactly as it was saved.
LoadedList loadList(const QString &path);

} // namespace kestrel::files
