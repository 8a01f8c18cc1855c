#include "core/files.h"

#include "core/text.h"

#include <QFile>
#include <QFileInfo>
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

QString appendLines(const QString &path, const QStringList &lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return file.errorString();
    const qint64 before = file.pos(); // opening for appending went to the end
    const QByteArray bytes = joinLines(lines);
    if (file.write(bytes) == bytes.size())
        return {};
    const QString error = file.errorString();
    file.resize(before);
    return error;
}

QString dropOlderHalf(const QString &path, qint64 limitBytes)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() <= limitBytes)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const QByteArray content = file.readAll();
    file.close();
    qsizetype from = content.indexOf('\n', content.size() / 2);
    from = from < 0 ? content.size() : from + 1;
    return replaceFile(path, content.mid(from));
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
