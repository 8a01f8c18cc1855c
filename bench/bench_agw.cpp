// The receive path through a TNC engine: direwolf takes audio over UDP,
// zeno-host agw hands its frames to the host mailbox, kestrel --headless
// gates them to the test APRS-IS server. For each of 50 distinct packets it
// measures the time from the last UDP datagram carrying the packet's audio
// to the server receiving the gated line, and prints the median and the
// worst. A figure, never a verdict: it exits 2 only when it cannot measure
// (not root, direwolf missing, the station would not come up).
//
// Usage: bench_agw [BUILD_DIR]
// The build folder holding kestrel and zeno-host comes from the argument,
// else from KESTREL_BUILD, else it is the parent of this program's folder.
// Runs itself again inside a fresh network namespace with only loopback,
// since direwolf listens on every interface.

#include "summary.h"
#include "support/child.h"
#include "support/tempstation.h"
#include "test-servers/aprsistestserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

const char *kInside = "KESTREL_BENCH_NETNS";
constexpr int kPackets = 50;
constexpr int kTimeoutMs = 5000;
constexpr int kSpacingMs = 1300;
constexpr quint16 kAudioPort = 7355;

[[noreturn]] void cannotMeasure(const QByteArray &why)
{
    std::printf("bench_agw: cannot measure: %s\n", why.constData());
    std::fflush(stdout);
    std::exit(2);
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() >= ms)
            return false;
        QTest::qWait(5);
    }
    return true;
}

QByteArray mailboxText(const TempStation &s, const char *key)
{
    return TempStation::readFile(s.mailboxPath(key, "String"));
}

QString buildDir(const QStringList &args)
{
    if (args.size() > 1)
        return args.at(1);
    if (!qEnvironmentVariableIsEmpty("KESTREL_BUILD"))
        return qEnvironmentVariable("KESTREL_BUILD");
    return QDir(QCoreApplication::applicationDirPath() + "/..").absolutePath();
}

// Outside: checks, a namespace with only loopback, this program again in it.
int runInNamespace(const QString &build)
{
    if (geteuid() != 0)
        cannotMeasure("a network namespace for direwolf needs root");
    for (const char *tool : {"direwolf", "gen_packets", "stdbuf"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            cannotMeasure(QByteArray(tool) + " is not installed (Debian package direwolf)");
    const QString ip = QStandardPaths::findExecutable("ip", {"/usr/sbin", "/sbin", "/usr/bin"});
    if (ip.isEmpty())
        cannotMeasure("ip (iproute2) is not installed");
    for (const char *program : {"kestrel", "zeno-host"})
        if (!QFileInfo(build + '/' + program).isExecutable())
            cannotMeasure((build + '/' + program).toLocal8Bit() +
                          " not found (give the build folder as the argument or KESTREL_BUILD)");

    const QString ns = QStringLiteral("kestrel-bench-%1").arg(QCoreApplication::applicationPid());
    if (QProcess::execute(ip, {"netns", "add", ns}) != 0)
        cannotMeasure("cannot make a network namespace");
    const auto removeNamespace = qScopeGuard([&] {
        QProcess::execute(ip, {"netns", "delete", ns});
    });
    if (QProcess::execute(ip, {"netns", "exec", ns, ip, "link", "set", "lo", "up"}) != 0)
        cannotMeasure("cannot bring loopback up in the namespace");

    QProcess inner;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kInside, ns);
    env.insert("KESTREL_BUILD", build);
    inner.setProcessEnvironment(env);
    inner.setProcessChannelMode(QProcess::ForwardedChannels);
    inner.start(ip, {"netns", "exec", ns, QCoreApplication::applicationFilePath()});
    if (!inner.waitForFinished(15 * 60 * 1000)) {
        inner.kill();
        inner.waitForFinished();
        cannotMeasure("the run inside the namespace did not end");
    }
    return inner.exitStatus() == QProcess::NormalExit ? inner.exitCode() : 2;
}

struct Packet
{
    QByteArray text;     // as given to gen_packets
    QByteArray expected; // the line the server should receive
    QByteArray pcm;      // the packet's audio, without the trailing silence
};

std::optional<Packet> makePacket(const TempStation &s, int i)
{
    Packet p;
    const QByteArray source = "N1ABC-" + QByteArray::number(1 + i % 15);
    const QByteArray info = "!4903.50N/07201.75W-Bench " + QByteArray::number(i + 1);
    p.text = source + ">APRS,N1DIG*,WIDE2-1:" + info;
    p.expected = source + ">APRS,N1DIG*,WIDE2-1,qAR,N1IGT-10:" + info;
    const QString wav = s.root() + "/packet" + QString::number(i) + ".wav";
    QProcess gen;
    gen.start("gen_packets", {"-o", wav, "-"});
    gen.write(p.text);
    gen.closeWriteChannel();
    if (!gen.waitForFinished(10000) || gen.exitCode() != 0)
        return std::nullopt;
    p.pcm = TempStation::readFile(wav).mid(44);
    if (p.pcm.isEmpty())
        return std::nullopt;
    return p;
}

// Sends audio in the test's pacing while serving the event loop; returns when
// the last datagram has gone.
void send(QUdpSocket &udp, const QByteArray &pcm)
{
    for (qsizetype at = 0; at < pcm.size(); at += 2000) {
        udp.writeDatagram(pcm.mid(at, 2000), QHostAddress::LocalHost, kAudioPort);
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
}

// Inside the namespace: the station, then the packets.
int measure(const QString &build)
{
    TempStation s;
    AprsIsTestServer server;
    if (!server.listen())
        cannotMeasure("the test APRS-IS server cannot listen");
    s.writeSettings({"APRS-IS Port=" + QString::number(server.port()), "Log Inet_RF= 1",
                     "IGate>RF Port=1", "Type Message= 1"});
    s.writeFile(s.root() + "/direwolf.conf", "ADEVICE udp:7355 null\nARATE 44100\nCHANNEL 0\n"
                                             "MYCALL N1IGT-10\nAGWPORT 8000\nKISSPORT 0\n");

    std::vector<Packet> packets;
    for (int i = 0; i < kPackets; ++i) {
        auto p = makePacket(s, i);
        if (!p)
            cannotMeasure("gen_packets failed");
        packets.push_back(*p);
    }

    Child direwolf("stdbuf", {"-oL", "direwolf", "-t", "0", "-c", s.root() + "/direwolf.conf"});
    std::unique_ptr<Child> zeno, kestrel;
    const auto tellAndStop = [&](const QByteArray &why) {
        std::fprintf(stderr, "direwolf:\n%s\n", direwolf.out().constData());
        if (zeno)
            std::fprintf(stderr, "zeno-host:\n%s%s\n", zeno->out().constData(),
                         zeno->err().constData());
        if (kestrel)
            std::fprintf(stderr, "kestrel:\n%s%s\n", kestrel->out().constData(),
                         kestrel->err().constData());
        cannotMeasure(why);
    };
    if (!waitFor([&] { return direwolf.out().contains("Ready to accept AGW client"); }, 10000))
        tellAndStop("direwolf did not become ready");
    s.setMailboxValue("Status", "String", {});
    zeno = std::make_unique<Child>(
        build + "/zeno-host", QStringList{"--mailbox", s.mailboxDir(), "agw", "127.0.0.1:8000"});
    if (!waitFor([&] { return mailboxText(s, "Status") == "Zeno Server Active!"; }, 5000))
        tellAndStop("zeno-host did not reach direwolf");
    kestrel = std::make_unique<Child>(build + "/kestrel",
                                      QStringList{"--headless", "--connect", "--program-dir",
                                                  s.programDir(), "--mailbox", s.mailboxDir()});
    if (!waitFor([&] { return server.loggedIn(); }, 5000))
        tellAndStop("kestrel did not log in to the test APRS-IS server");
    if (!waitFor([&] { return zeno->out().contains("SETTVF to=APKR02 via=ARISS"); }, 5000))
        tellAndStop("kestrel did not set up the host");

    // A second of silence after each packet, so that the channel is seen
    // clear again.
    const QByteArray silence(88200, '\0');
    QUdpSocket udp;
    std::vector<double> times;
    int sent = 0;
    qint64 lastStart = -kSpacingMs;
    for (const Packet &p : packets) {
        QTest::qWait(
            static_cast<int>(std::max<qint64>(0, lastStart + kSpacingMs - server.elapsed())));
        lastStart = server.elapsed();
        const qsizetype seen = server.received().size();
        send(udp, p.pcm);
        const qint64 audioEnd = server.elapsed();
        ++sent;
        send(udp, silence);
        std::optional<qint64> arrived;
        const auto find = [&] {
            const auto &got = server.received();
            for (qsizetype i = seen; i < got.size(); ++i)
                if (got.at(i).line == p.expected) {
                    arrived = got.at(i).ms;
                    return true;
                }
            return false;
        };
        waitFor(find,
                static_cast<int>(std::max<qint64>(0, audioEnd + kTimeoutMs - server.elapsed())));
        if (arrived)
            times.push_back(static_cast<double>(*arrived - audioEnd));
        else
            std::fprintf(stderr, "bench_agw: no line within %d ms for %s\n", kTimeoutMs,
                         p.text.constData());
    }

    kestrel->signal(SIGTERM);
    kestrel->finish();
    zeno->signal(SIGTERM);
    zeno->finish();
    direwolf.signal(SIGTERM);
    direwolf.finish();

    std::printf("bench_agw: audio end (last UDP datagram of the packet) to line at APRS-IS\n");
    std::printf("  packets sent     %d\n", sent);
    std::printf("  arrived          %zu\n", times.size());
    if (times.empty()) {
        std::fflush(stdout);
        cannotMeasure("no packet arrived");
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    std::printf("  median ms        %.0f\n", median);
    std::printf("  best ms          %.0f\n", sorted.front());
    std::printf("  worst ms         %.0f\n", sorted.back());
    benchSummary("direwolf to APRS-IS", "packets arrived",
                 QStringLiteral("%1 of %2").arg(times.size()).arg(sent), "all");
    benchSummary("direwolf to APRS-IS", "audio end to qAR line",
                 QString::asprintf("%.0f ms", median), "median; mailbox read each 1 s");
    benchSummary("direwolf to APRS-IS", "  the same, worst",
                 QString::asprintf("%.0f ms", sorted.back()));
    std::printf("  note: the host mailbox is read once a second; that read interval\n"
                "        is the expected floor of this path (up to 1000 ms of waiting).\n");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (benchHelp(
            argc, argv,
            "usage: bench_agw BUILD_DIR\n"
            "Audio into direwolf to the line at APRS-IS, through zeno-host agw and kestrel.\n"))
        return 0;
    QCoreApplication app(argc, argv);
    const QString build = buildDir(app.arguments());
    if (qEnvironmentVariableIsEmpty(kInside))
        return runInNamespace(build);
    return measure(build);
}
