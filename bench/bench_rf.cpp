// Figures for the RF path: one Timer6 pass with a new frame, with 300 rows
// in the MHeard and positions lists (the mailbox read included), and the
// decoders in packets per second. Prints figures; judges nothing.

#include "aprs/decoder.h"
#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "summary.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace kestrel;

namespace {
void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}
} // namespace

int main(int argc, char *argv[])
{
    if (benchHelp(argc, argv,
                  "usage: bench_rf\nThe RF pass with 300 rows in the lists, and the decoders.\n"))
        return 0;
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString program = dir.path() + "/program";
    QDir().mkpath(program + "/Logs_Kestrel");
    QDir().mkpath(program + "/Web");
    write(program + "/Web/server.htm", "#V1\r\n");
    write(program + "/kestrel.ini",
          "[IGATE]\r\nGate Only Direct= 0\r\nDIGI All= 1\r\nRF Port>IGate=All\r\n"
          "[MISCELANEOUS]\r\nRun Zeno= 0\r\nClose Zeno= 0\r\nLog IGated= 1\r\n");
    QByteArray mheard, positions;
    for (int i = 0; i < 300; ++i) {
        const QByteArray call = "QB" + QByteArray::number(i) + "ZZ";
        mheard += call.leftJustified(10, ' ') + "06-12-26 14:00:00 RS0ISS*\r\n";
        positions += call.leftJustified(10, ' ') + "1234.5km 123\xb0\r\n";
    }
    write(program + "/mheard.txt", mheard);
    write(program + "/positions.txt", positions);
    mailbox::DirectoryStore store((dir.path() + "/mailbox").toStdString());
    store.set(mailbox::kCurrentUser, "Software\\Zeno\\MyCall", "String", "QB0BEN-10");
    store.set(mailbox::kCurrentUser, "Software\\Zeno\\Path", "String",
              (dir.path() + "/zeno").toStdString());
    QDir().mkpath(dir.path() + "/zeno");
    write(dir.path() + "/zeno/Zeno.ini", "[APRS]\r\n!4903.50N/07201.75W-Bench\r\n");
    Clock clock;
    Gateway gateway(ProgramFolder(program), store, clock);
    gateway.start();

    const int passes = 2000;
    QList<qint64> ns;
    for (int i = 0; i < passes; ++i) {
        const std::string frame =
            " 1:Fm QB" + std::to_string(i % 400) +
            "ZZ To APRS Via RS0ISS* <UI pid=F0 Len=30 >[14:00:" + std::to_string(i % 60) +
            "]\r!4903.50N/07201.75W-Bench " + std::to_string(i);
        store.set(mailbox::kCurrentUser, "Software\\Zeno\\RXData", "String", frame);
        QElapsedTimer t;
        t.start();
        gateway.timer6Tick();
        ns << t.nsecsElapsed();
    }
    std::sort(ns.begin(), ns.end());

    const QStringList kinds = {
        "N1ABC-7>APRS:!4903.50N/07201.75W-Plain",
        "N1ABC-7>APRS:=/5L!!<*e7>7P[",
        "N1ABC-7>APRS:/092345z/5L!!<*e7>7P[",
        "N1ABC>S32U6T:`(_fn\"Oj/",
        "N1ABC>APRS:$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W*6A",
        "N1ABC>APRS::N2XYZ    :message{1"};
    QElapsedTimer t;
    t.start();
    qint64 decoded = 0;
    int accepted = 0;
    while (t.elapsed() < 1000) {
        for (const QString &k : kinds)
            accepted += decoder::decode(k, {}, false).accepted() ? 1 : 0;
        decoded += kinds.size();
    }
    const double seconds = t.nsecsElapsed() / 1e9;

    std::printf("Kestrel RF path (300-row MHeard and positions lists)\n");
    std::printf("  Timer6 pass with a new frame    median %7.1f us, 99th %7.1f us, max %7.1f us "
                "(%d passes; target < 1 ms)\n",
                ns[passes / 2] / 1e3, ns[passes * 99 / 100] / 1e3, ns.last() / 1e3, passes);
    std::printf("  decoder, mixed kinds            %9.0f packets/s\n", decoded / seconds);
    benchSummary("RF path", "Timer6 pass with a new frame",
                 QString::asprintf("%.1f us", ns[passes / 2] / 1e3), "median; < 1 ms");
    benchSummary("RF path", "  the same, worst", QString::asprintf("%.1f us", ns.last() / 1e3));
    benchSummary("RF path", "decoder, mixed kinds",
                 QString::asprintf("%.0f /s", decoded / seconds));
    return accepted > 0 ? 0 : 1;
}
