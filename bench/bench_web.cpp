// Figures for the status page under load: wrk against the gateway's own web
// server (300 MHeard rows, 100 gated frames, a 200000-range country table,
// visits logged), how late Timer6 ticks meanwhile, nginx serving the same
// page as a static file for comparison. The country table is here only for
// what it costs the page; bench_country measures the table itself. Prints
// figures; judges nothing. Exits non-zero only when something could not be
// measured.
//
// Environment: BENCH_WEB_SECONDS, the length of each wrk run (default 10).

#include "core/text.h"
#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "summary.h"
#include "support/tempstation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <unistd.h>

using namespace kestrel;

namespace {

constexpr int kMHeardRows = 300;
constexpr int kGatedFrames = 100;
constexpr int kRanges = 200000;
constexpr int kClients = 50;

bool failed = false;

void fail(const QString &why)
{
    std::printf("  NOT MEASURED: %s\n", qPrintable(why));
    std::fflush(stdout);
    failed = true;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Disjoint ranges in address order, TAB form, some space between some of
// them; 127.0.0.1 falls in one.
QByteArray countryTable()
{
    static const char *const countries[][3] = {
        {"US", "USA", "United States"},  {"DE", "DEU", "Germany"},
        {"JP", "JPN", "Japan"},          {"BR", "BRA", "Brazil"},
        {"FR", "FRA", "France"},         {"AR", "ARG", "Argentina"},
        {"AU", "AUS", "Australia"},      {"CA", "CAN", "Canada"},
        {"IT", "ITA", "Italy"},          {"ES", "ESP", "Spain"},
        {"GB", "GBR", "United Kingdom"}, {"NL", "NLD", "Netherlands"},
        {"SE", "SWE", "Sweden"},         {"ZA", "ZAF", "South Africa"},
        {"MX", "MEX", "Mexico"},         {"IN", "IND", "India"},
        {"CL", "CHL", "Chile"},          {"NZ", "NZL", "New Zealand"},
        {"PL", "POL", "Poland"},         {"KR", "KOR", "Korea"}};
    constexpr int kinds = sizeof countries / sizeof countries[0];
    std::mt19937 rng(2024);
    QByteArray out;
    out.reserve(kRanges * 56);
    const quint64 step = (quint64{1} << 32) / kRanges;
    for (quint64 i = 0; i < kRanges; ++i) {
        const quint64 lower = i * step;
        const quint64 upper = lower + step - 1 - (rng() % 4 == 0 ? rng() % (step / 2) : 0);
        const auto &c = countries[rng() % kinds];
        out += '"' + QByteArray::number(lower) + '\t' + QByteArray::number(upper) + '\t' + c[0] +
               '\t' + c[1] + '\t' + c[2] + "\"\r\n";
    }
    return out;
}

// Runs the event loop, asleep while nothing happens, until `done` is true
// or `ms` have passed.
bool spinUntil(const std::function<bool()> &done, int ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer t;
    t.start();
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || t.hasExpired(ms))
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

// One GET on a connection of its own, served by this process's event loop.
QByteArray fetch(quint16 port)
{
    QTcpSocket s;
    QByteArray reply;
    QEventLoop loop;
    QObject::connect(&s, &QTcpSocket::connected, [&] {
        s.write("GET / HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    });
    QObject::connect(&s, &QTcpSocket::readyRead, [&] { reply += s.readAll(); });
    QObject::connect(&s, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&s, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    s.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    reply += s.readAll();
    return reply;
}

// TCP connections this machine has accepted so far (PassiveOpens in
// /proc/net/snmp); -1 when unknown.
qint64 passiveOpens()
{
    QFile f(QStringLiteral("/proc/net/snmp"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith("Tcp: ") || !lines[i + 1].startsWith("Tcp: "))
            continue;
        const QList<QByteArray> names = lines[i].simplified().split(' ');
        const QList<QByteArray> values = lines[i + 1].simplified().split(' ');
        const qsizetype at = names.indexOf("PassiveOpens");
        return at > 0 && at < values.size() ? values[at].toLongLong() : -1;
    }
    return -1;
}

double toMs(const QString &value)
{
    static const QRegularExpression re(QStringLiteral("^([0-9.]+)(us|ms|s|m)$"));
    const auto m = re.match(value);
    if (!m.hasMatch())
        return -1;
    const double v = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    return unit == u"us" ? v / 1000 : unit == u"ms" ? v : unit == u"s" ? v * 1000 : v * 60000;
}

struct WrkFigures
{
    bool ok = false;
    QString why;
    double pagesPerSecond = 0;
    double p50 = 0, p99 = 0; // ms
    qint64 pages = 0;
    QString socketErrors; // wrk's line, when it has one
    qint64 bad = 0;       // non-2xx or 3xx answers
    qint64 accepted = -1; // connections accepted meanwhile, on the whole machine
};

// wrk against 127.0.0.1:port, the event loop running meanwhile.
WrkFigures runWrk(const QString &wrk, quint16 port, int seconds)
{
    WrkFigures f;
    QProcess p;
    p.setProgram(wrk);
    p.setArguments({QStringLiteral("-t2"), QStringLiteral("-c%1").arg(kClients),
                    QStringLiteral("-d%1s").arg(seconds), QStringLiteral("--latency"),
                    QStringLiteral("-H"), QStringLiteral("Connection: close"),
                    QStringLiteral("http://127.0.0.1:%1/").arg(port)});
    const qint64 opensBefore = passiveOpens();
    p.start();
    if (!p.waitForStarted(5000)) {
        f.why = QStringLiteral("wrk did not start: ") + p.errorString();
        return f;
    }
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot((seconds + 30) * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(2000);
        f.why = QStringLiteral("wrk did not finish");
        return f;
    }
    if (const qint64 opensAfter = passiveOpens(); opensBefore >= 0 && opensAfter >= 0)
        f.accepted = opensAfter - opensBefore;
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const auto grab = [&](const QString &pattern) {
        return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(out);
    };
    const auto rps = grab(QStringLiteral("^Requests/sec:\\s+([0-9.]+)"));
    const auto p50 = grab(QStringLiteral("^\\s+50%\\s+(\\S+)"));
    const auto p99 = grab(QStringLiteral("^\\s+99%\\s+(\\S+)"));
    const auto total = grab(QStringLiteral("^\\s+(\\d+) requests in"));
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 || !rps.hasMatch() ||
        !p50.hasMatch() || !p99.hasMatch() || !total.hasMatch()) {
        f.why = QStringLiteral("no figures from wrk: ") + out.simplified() + QLatin1Char(' ') +
                QString::fromLocal8Bit(p.readAllStandardError()).simplified();
        return f;
    }
    f.pagesPerSecond = rps.captured(1).toDouble();
    f.p50 = toMs(p50.captured(1));
    f.p99 = toMs(p99.captured(1));
    f.pages = total.captured(1).toLongLong();
    if (const auto e = grab(QStringLiteral("^\\s+Socket errors: (.*)$")); e.hasMatch())
        f.socketErrors = e.captured(1).trimmed();
    if (const auto b = grab(QStringLiteral("^\\s+Non-2xx or 3xx responses: (\\d+)")); b.hasMatch())
        f.bad = b.captured(1).toLongLong();
    f.ok = f.p50 >= 0 && f.p99 >= 0;
    if (!f.ok)
        f.why = QStringLiteral("unreadable latency in wrk's output");
    return f;
}

// Timer6's ticks: when each ran, and how long the timer then had until its
// next tick.
struct TickLog
{
    QElapsedTimer clock;
    std::vector<qint64> ns;
    std::vector<int> remainingMs;
    bool on = false;

    void tick(const QTimer &timer)
    {
        if (!on)
            return;
        ns.push_back(clock.nsecsElapsed());
        remainingMs.push_back(timer.remainingTime());
    }

    // Waits for a tick, the first of the log.
    bool anchor()
    {
        ns.clear();
        remainingMs.clear();
        on = true;
        return spinUntil([this] { return !ns.empty(); }, 3000);
    }

    // How late each tick after the first ran, in ms: from the time it was
    // due, as the timer gave it at the tick before. The timer's own due
    // times are the reference because Qt moves those of a coarse timer by
    // up to 5 % of the interval to share wake-ups, and starts afresh from
    // the late tick when one runs a whole interval late.
    std::vector<double> lateness() const
    {
        std::vector<double> late;
        for (std::size_t i = 1; i < ns.size(); ++i)
            late.push_back((ns[i] - ns[i - 1] - qint64{remainingMs[i - 1]} * 1000000) / 1e6);
        return late;
    }
};

void printWrk(const WrkFigures &f)
{
    std::printf("    pages per second                %9.0f /s  (%lld pages%s%s%s)\n",
                f.pagesPerSecond, static_cast<long long>(f.pages),
                f.socketErrors.isEmpty() ? "" : "; socket errors: ", qPrintable(f.socketErrors),
                f.bad ? qPrintable(QStringLiteral("; %1 not 2xx/3xx").arg(f.bad)) : "");
    std::printf("    latency                         50th %7.2f ms, 99th %7.2f ms\n", f.p50, f.p99);
    if (f.accepted >= 0 && f.pages > 0)
        std::printf("    connections accepted per page   %9.2f\n", double(f.accepted) / f.pages);
}

void printLateness(const char *label, const TickLog &log)
{
    std::vector<double> late = log.lateness();
    if (late.empty()) {
        fail(QStringLiteral("no Timer6 tick during the run"));
        return;
    }
    std::sort(late.begin(), late.end());
    std::printf("    %-31s median %6.2f ms, max %7.2f ms (%zu ticks)\n", label,
                late[late.size() / 2], late.back(), late.size());
}

QString findProgram(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    return path;
}

// nginx on 127.0.0.1:port serving `root`, everything it writes under `dir`.
bool startNginx(QProcess &nginx, const QString &program, const QString &dir, const QString &root,
                quint16 port)
{
    QDir().mkpath(dir + QStringLiteral("/tmp"));
    QByteArray conf = R"(worker_processes 1;
pid @DIR@/nginx.pid;
error_log @DIR@/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  types { text/html html; }
  default_type text/html;
  sendfile on;
  keepalive_timeout 0;
  client_body_temp_path @DIR@/tmp/client_body;
  proxy_temp_path @DIR@/tmp/proxy;
  fastcgi_temp_path @DIR@/tmp/fastcgi;
  uwsgi_temp_path @DIR@/tmp/uwsgi;
  scgi_temp_path @DIR@/tmp/scgi;
  server {
    listen 127.0.0.1:@PORT@;
    root @ROOT@;
    index index.html;
  }
}
)";
    // The page lies in a folder only its owner may enter.
    if (geteuid() == 0)
        conf.prepend("user root;\n");
    conf.replace("@DIR@", dir.toLocal8Bit())
        .replace("@ROOT@", root.toLocal8Bit())
        .replace("@PORT@", QByteArray::number(port));
    const QString confPath = dir + QStringLiteral("/nginx.conf");
    if (!writeFile(confPath, conf))
        return false;
    nginx.setProgram(program);
    nginx.setArguments({QStringLiteral("-p"), dir, QStringLiteral("-c"), confPath,
                        QStringLiteral("-e"), dir + QStringLiteral("/error.log"),
                        QStringLiteral("-g"), QStringLiteral("daemon off;")});
    nginx.setProcessChannelMode(QProcess::MergedChannels);
    nginx.start();
    if (!nginx.waitForStarted(5000))
        return false;
    // Up once it answers.
    QElapsedTimer t;
    t.start();
    while (!t.hasExpired(5000) && nginx.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (benchHelp(argc, argv,
                  "usage: bench_web (BENCH_WEB_SECONDS, default 10)\n"
                  "The status page under wrk, beside nginx serving the same bytes.\n"))
        return 0;
    Clock::readSystemZoneOnce(); // as the program does
    QCoreApplication app(argc, argv);
    const int seconds = std::max(1, qEnvironmentVariableIntValue("BENCH_WEB_SECONDS") > 0
                                        ? qEnvironmentVariableIntValue("BENCH_WEB_SECONDS")
                                        : 10);
    const QString wrk = findProgram(QStringLiteral("wrk"));
    const QString nginxProgram = findProgram(QStringLiteral("nginx"));

    // The station: the demo's page template, the lists, the country table.
    TempStation st;
    const quint16 port = freePort();
    st.writeSettings({"Web Server YES/NO= 1", "Web Server Port=" + QString::number(port),
                      "Log Visits= 1", "MHExpTime=60"});
    const QByteArray templ =
        TempStation::readFile(QStringLiteral(KESTREL_SOURCE "/demo/program/Web/server.htm"));
    if (templ.isEmpty()) {
        std::printf("bench_web: cannot read %s\n", KESTREL_SOURCE "/demo/program/Web/server.htm");
        return 1;
    }
    st.writeFile(st.programFile(QStringLiteral("Web/server.htm")), templ);
    st.writeFile(st.programFile(QStringLiteral("IP2.csv")), countryTable());

    mailbox::DirectoryStore store(st.mailboxDir().toStdString());
    Clock clock;
    Gateway gateway(ProgramFolder(st.programDir()), store, clock);
    TickLog ticks;
    ticks.clock.start();
    QObject::connect(&gateway.timer("Timer6"), &QTimer::timeout,
                     [&] { ticks.tick(gateway.timer("Timer6")); });
    gateway.web().setBindAddress(QHostAddress::LocalHost);
    if (gateway.start() != Gateway::StartOutcome::Started) {
        std::printf("bench_web: the gateway did not start\n");
        return 1;
    }

    const QString now = text::stamp(clock.now());
    QStringList mheard;
    for (int i = 0; i < kMHeardRows; ++i) {
        const QString call = QStringLiteral("N%1%2%3%4-%5")
                                 .arg(i % 10)
                                 .arg(QChar(u'A' + (i / 10) % 26))
                                 .arg(QChar(u'A' + (i / 260) % 26))
                                 .arg(QChar(u'A' + i % 7))
                                 .arg(i % 16);
        const QString path = i % 3 == 0   ? QString()
                             : i % 3 == 1 ? QStringLiteral("RS0ISS*")
                                          : QStringLiteral("N1DIG-3*");
        mheard << call.leftJustified(10, u' ') + now + QLatin1Char(' ') + path;
    }
    gateway.mheardList().setRows(mheard);
    QStringList gated;
    for (int i = 0; i < kGatedFrames; ++i) {
        gated << QStringLiteral("N%1ABC-7>APRS,RS0ISS*,qAR,%2:").arg(i % 10).arg(TempStation::kCall)
              << QStringLiteral("!4903.50N/07201.75W-Frame <%1> & more").arg(i);
    }
    gateway.igatedList().setRows(gated);
    gateway.timer10Tick();
    if (!gateway.web().listening()) {
        std::printf("bench_web: the web server is not listening on port %u\n", port);
        return 1;
    }

    std::printf("Kestrel status page under load (%d MHeard rows, %d gated frames, "
                "%d-range country table, visits logged; %d clients, Connection: close, "
                "%d s a run, %d cores shared with wrk)\n",
                kMHeardRows, kGatedFrames, kRanges, kClients, seconds, QThread::idealThreadCount());
    std::fflush(stdout);

    // The first visit loads the country table.
    QElapsedTimer first;
    first.start();
    const QByteArray reply = fetch(port);
    const double firstMs = first.nsecsElapsed() / 1e6;
    const qsizetype headerEnd = reply.indexOf("\r\n\r\n");
    if (headerEnd < 0 || !reply.startsWith("HTTP/1.0 200")) {
        std::printf("bench_web: no page from the web server (%lld bytes)\n",
                    static_cast<long long>(reply.size()));
        return 1;
    }
    const QByteArray page = reply.mid(headerEnd + 4);
    QElapsedTimer second;
    second.start();
    fetch(port);
    std::printf("  page                            %9lld bytes; first visit %.1f ms (country "
                "table load included), second %.1f ms\n",
                static_cast<long long>(page.size()), firstMs, second.nsecsElapsed() / 1e6);

    WrkFigures mine, theirs;
    const QString visits = st.programFile(QStringLiteral("Logs_Kestrel/web_visits.txt"));
    std::printf("  Kestrel web server\n");
    std::fflush(stdout);
    if (wrk.isEmpty()) {
        fail(QStringLiteral("wrk is not installed"));
    } else if (!ticks.anchor()) {
        fail(QStringLiteral("Timer6 does not tick"));
    } else {
        const int before = text::splitLines(TempStation::readFile(visits)).size();
        mine = runWrk(wrk, port, seconds);
        ticks.on = false;
        if (!mine.ok) {
            fail(mine.why);
        } else {
            printWrk(mine);
            printLateness("Timer6 lateness", ticks);
            const int after = text::splitLines(TempStation::readFile(visits)).size();
            std::printf("    visits logged                   %9d\n", after - before);
        }
    }
    std::fflush(stdout);

    // The same page from nginx, the gateway idle meanwhile.
    QTemporaryDir nginxDir;
    QProcess nginx;
    const quint16 nginxPort = freePort();
    const QString www = nginxDir.path() + QStringLiteral("/www");
    QDir().mkpath(www);
    writeFile(www + QStringLiteral("/index.html"), page);
    std::printf("  nginx, 1 worker, the same page as a static file\n");
    std::fflush(stdout);
    if (wrk.isEmpty() || nginxProgram.isEmpty()) {
        fail(QStringLiteral("nginx or wrk is not installed"));
    } else if (!startNginx(nginx, nginxProgram, nginxDir.path(), www, nginxPort)) {
        fail(QStringLiteral("nginx did not start: ") +
             QString::fromLocal8Bit(nginx.readAll()).simplified() + QLatin1Char(' ') +
             QString::fromLocal8Bit(
                 TempStation::readFile(nginxDir.path() + QStringLiteral("/error.log")))
                 .simplified());
    } else {
        const QByteArray served = fetch(nginxPort);
        const qsizetype end = served.indexOf("\r\n\r\n");
        if (end < 0 || served.mid(end + 4) != page)
            fail(QStringLiteral("nginx does not serve the page as saved"));
        else if (!ticks.anchor())
            fail(QStringLiteral("Timer6 does not tick"));
        else {
            theirs = runWrk(wrk, nginxPort, seconds);
            ticks.on = false;
            if (!theirs.ok) {
                fail(theirs.why);
            } else {
                printWrk(theirs);
                printLateness("Timer6 lateness (gateway idle)", ticks);
            }
        }
    }
    if (nginx.state() != QProcess::NotRunning) {
        nginx.terminate();
        if (!nginx.waitForFinished(5000)) {
            nginx.kill();
            nginx.waitForFinished(2000);
        }
    }
    if (mine.ok)
        benchSummary("status page", "pages per second, Connection: close",
                     QString::asprintf("%.0f /s", mine.pagesPerSecond));
    if (theirs.ok)
        benchSummary("status page", "  nginx, the same bytes",
                     QString::asprintf("%.0f /s", theirs.pagesPerSecond));
    if (mine.ok && theirs.ok && theirs.pagesPerSecond > 0) {
        std::printf(
            "  Kestrel's pages per second       %8.1f %% of nginx's (target: at least 50 %%)\n",
            100.0 * mine.pagesPerSecond / theirs.pagesPerSecond);
        benchSummary(
            "status page", "  Kestrel in % of nginx",
            QString::asprintf("%.0f %%", 100.0 * mine.pagesPerSecond / theirs.pagesPerSecond),
            ">= 50 %");
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}
