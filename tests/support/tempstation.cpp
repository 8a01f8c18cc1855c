#include "support/tempstation.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

const QString TempStation::kCall = QStringLiteral("N1IGT-10");

TempStation::TempStation()
{
    QDir dir(root());
    dir.mkpath(QStringLiteral("program/Logs_Kestrel"));
    dir.mkpath(QStringLiteral("program/Web"));
    dir.mkpath(QStringLiteral("zeno"));
    dir.mkpath(QStringLiteral("mailbox"));
    writeFile(programFile(QStringLiteral("Web/server.htm")), "<html><body>#V1\r\n");
    writeSettings();
    setHost(kCall);
}

QByteArray TempStation::settingsFile(const QStringList &overrides)
{
    // The file as the settings dialog writes it, kept as test data.
    QFile file(QStringLiteral(KESTREL_TEST_DATA "/kestrel.ini"));
    QStringList lines;
    if (file.open(QIODevice::ReadOnly))
        lines = QString::fromLatin1(file.readAll()).chopped(1).split(u'\n');
    for (const QString &o : overrides) {
        const QString key = o.left(o.indexOf(u'=') + 1);
        for (QString &line : lines)
            if (line.startsWith(key))
                line = o;
    }
    return lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
}

void TempStation::writeSettings(const QStringList &overrides)
{
    writeFile(programFile(QStringLiteral("kestrel.ini")), settingsFile(overrides));
}

void TempStation::writeFile(const QString &path, const QByteArray &content) const
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
}

QByteArray TempStation::readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList TempStation::snapshot() const
{
    QStringList entries;
    QDirIterator it(root(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries << path + QLatin1Char('=') + QString::fromLatin1(readFile(path).toHex());
    }
    entries.sort();
    return entries;
}

QString TempStation::mailboxPath(const QString &key, const QString &name) const
{
    return mailboxDir() + QStringLiteral("/HKEY_CURRENT_USER/Software/Zeno/") + key +
           QLatin1Char('/') + name;
}

void TempStation::setMailboxValue(const QString &key, const QString &name,
                                  const QByteArray &value) const
{
    QDir().mkpath(mailboxDir() + QStringLiteral("/HKEY_CURRENT_USER/Software/Zeno/") + key);
    writeFile(mailboxPath(key, name), value);
}

QByteArray TempStation::mailboxValue(const QString &key, const QString &name) const
{
    return readFile(mailboxPath(key, name));
}

void TempStation::setHost(const QString &call, const QByteArray &beaconLine)
{
    writeFile(hostDir() + QStringLiteral("/Zeno.ini"),
              "[General]\r\nCallsign=" + call.toLatin1() + "\r\n[APRS]\r\n" + beaconLine + "\r\n");
    setMailboxValue(QStringLiteral("MyCall"), QStringLiteral("String"), call.toLatin1());
    setMailboxValue(QStringLiteral("Path"), QStringLiteral("String"), hostDir().toLocal8Bit());
    setMailboxValue(QStringLiteral("Status"), QStringLiteral("String"), "Zeno Server Active!");
}
