#include "core/files.h"

#include "core/text.h"

#include <QFile>
#include <QSaveFile>

namespace kestrel::files {

QByteArray joinLines(const QStringList &lines)
{
    QByteArray out;
    for (const QString &line : lines) {
        out += text::toBytes(line);
        out += "\r\n";
    }
    return out;
}

bool appendLines(const QString &path, const QStringList &lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = joinLines(lines);
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

QString replaceFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        file.commit();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

LoadedList loadList(const QString &path)
{
    LoadedList result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QFile create(path);
        if (!create.open(QIODevice::WriteOnly | QIODevice::Append)) {
            result.error = create.errorString();
            return result;
        }
        create.close();
        if (!file.open(QIODevice::ReadOnly)) {
            result.error = file.errorString();
            return result;
        }
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    result.rows = text::splitLines(content);
    result.ok = true;
    return result;
}

} // namespace kestrel::files
