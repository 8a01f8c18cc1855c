#include "support/fixtures.h"

#include <QProcess>
#include <QRegularExpression>

namespace sample {

QString monitor(const QString &from, const QString &info, const QString &via)
{
    return QStringLiteral(" 1:Fm %1 To APRS%2 <UI pid=F0 Len=%3 >[14:00:05]\\r%4")
        .arg(from, via.isEmpty() ? QString() : " Via " + via)
        .arg(info.size())
        .arg(info);
}

QByteArray gated(const QString &from, const QString &info, const QString &via)
{
    return (from + ">APRS," + (via.isEmpty() ? QString() : via + ',') + "qAR,N1IGT-10:" + info)
        .toLatin1();
}

QByteArray unescaped(const QString &monitorText)
{
    return monitorText.toLatin1().replace("\\r", "\r");
}

} // namespace sample

QStringList errorLines(const TempStation &station)
{
    static const QRegularExpression shape(
        QStringLiteral("^(\\S+) \\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d (.+)\r$"));
    QStringList out;
    const QByteArray content = TempStation::readFile(station.programFile("errors.txt"));
    if (!content.isEmpty() && !content.endsWith("\r\n"))
        return {"(no line end) " + QString::fromLatin1(content)};
    for (const QByteArray &line : content.split('\n')) {
        if (line.isEmpty())
            continue;
        const auto m = shape.match(QString::fromLatin1(line));
        out << (m.hasMatch() ? m.captured(1) + ' ' + m.captured(2)
                             : "(malformed) " + QString::fromLatin1(line));
    }
    return out;
}

InProcess::InProcess(const QStringList &settings)
    : store(station.mailboxDir().toStdString()),
      gateway(kestrel::ProgramFolder(station.programDir()), store, clock)
{
    station.writeSettings(settings);
    clock.set(QDateTime(QDate(2026, 12, 6), QTime(14, 0, 0)));
}

void InProcess::hostHears(const QString &monitorText)
{
    station.setMailboxValue("RXData", "String", sample::unescaped(monitorText));
}

Headless::Headless(const QStringList &settings)
{
    server.listen();
    station.writeSettings(QStringList{"APRS-IS Port=" + QString::number(server.port())} + settings);
}

void Headless::start(const QStringList &args)
{
    kestrel =
        std::make_unique<Child>(programUnderTest("KESTREL_BIN"),
                                QStringList{"--headless", "--program-dir", station.programDir(),
                                            "--mailbox", station.mailboxDir()} +
                                    args);
}

int Headless::stop(int signal)
{
    kestrel->signal(signal);
    return kestrel->finish(10000);
}

bool Headless::says(const QByteArray &text, int ms)
{
    return QTest::qWaitFor([&] { return kestrel->out().contains(text); }, ms);
}

bool Headless::complains(const QByteArray &text, int ms)
{
    return QTest::qWaitFor([&] { return kestrel->err().contains(text); }, ms);
}

bool Headless::serverGot(const QByteArray &line, int ms)
{
    return QTest::qWaitFor([&] { return server.lines().contains(line); }, ms);
}

bool Headless::errorsSay(const QString &line, int ms)
{
    return QTest::qWaitFor([&] { return errorLines(station).contains(line); }, ms);
}

bool Headless::take(const QString &monitorText)
{
    const auto taken = [&] { return kestrel->out().count("Frame: "); };
    const qsizetype before = taken();
    return zenoHost(station, {"rx", monitorText}) &&
           QTest::qWaitFor([&] { return taken() > before; }, 5000);
}

bool zenoHost(const TempStation &station, const QStringList &args)
{
    QProcess p;
    p.start(programUnderTest("ZENO_HOST_BIN"),
            QStringList{"--mailbox", station.mailboxDir()} + args);
    return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
