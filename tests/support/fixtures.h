#pragma once

#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "support/child.h"
#include "support/tempstation.h"
#include "test-servers/aprsistestserver.h"

#include <QTest>
#include <csignal>
#include <memory>

// Frames as the host's monitor shows them, escaped as `zeno-host rx` takes
// them (and as kestrel prints them on "Frame: " lines), and the lines they
// gate to under the test station's call.
namespace sample {
QString monitor(const QString &from, const QString &info, const QString &via = {});
QByteArray gated(const QString &from, const QString &info, const QString &via = {});
// The monitor text with its escapes undone: the bytes the host stores.
QByteArray unescaped(const QString &monitorText);
inline const QByteArray kLogin =
    "user N1IGT-10 pass 8340 vers ZenoKestrel V1.02 filter r/49/-72/100";
inline const QString kPosition = QStringLiteral("!4903.50N/07201.75W-Test");
// An element set for the ISS with its epoch at 00:00 UTC on 6 December 2026.
inline const QByteArray kIssElements =
    "ISS (ZARYA)\r\n"
    "1 25544U 98067A   26340.00000000  .00016717  00000-0  30000-3 0  9993\r\n"
    "2 25544  51.6400 120.0000 0004000  90.0000 270.0000 15.50000000 10005\r\n";
} // namespace sample

// errors.txt as "Word text" lines, stamps taken out; a line not of the form
// "Word dd-MM-yy HH:mm:ss text" CR LF comes back marked "(malformed)".
QStringList errorLines(const TempStation &station);

// A gateway built as the program builds it, on a temporary station, the
// clock set to 14:00:00 on 6 December 2026. Files and settings may be
// changed before start().
struct InProcess
{
    explicit InProcess(const QStringList &settings = {});
    kestrel::Gateway::StartOutcome start() { return gateway.start(); }
    QByteArray file(const QString &name) const
    {
        return TempStation::readFile(station.programFile(name));
    }
    // The host hands over a frame (the next poll takes it).
    void hostHears(const QString &monitorText);

    TempStation station;
    kestrel::mailbox::DirectoryStore store;
    kestrel::Clock clock;
    kestrel::Gateway gateway;
};

// The real programs: kestrel --headless on a temporary station beside the
// loopback APRS-IS server, zeno-host playing the host.
struct Headless
{
    explicit Headless(const QStringList &settings = {});
    void start(const QStringList &args = {QStringLiteral("--connect")});
    // Signals the program and returns its exit status (-1 when it did not end).
    int stop(int signal = SIGTERM);
    bool running() const { return kestrel && kestrel->p.state() == QProcess::Running; }

    bool loggedIn(int ms = 5000)
    {
        return QTest::qWaitFor([&] { return server.loggedIn(); }, ms);
    }
    // Standard output (or error) contains the text, waiting up to ms.
    bool says(const QByteArray &text, int ms = 5000);
    bool complains(const QByteArray &text, int ms = 5000);
    bool serverGot(const QByteArray &line, int ms = 5000);
    bool errorsSay(const QString &line, int ms = 5000);
    // Hands a frame to the host's mailbox and waits until kestrel took it:
    // the host keeps one frame, so the next must not overwrite it before.
    bool take(const QString &monitorText);

    QByteArray file(const QString &name) const
    {
        return TempStation::readFile(station.programFile(name));
    }

    TempStation station;
    AprsIsTestServer server;
    std::unique_ptr<Child> kestrel;
};

// Runs zeno-host on the station's mailbox; true when it ended with status 0.
bool zenoHost(const TempStation &station, const QStringList &args);
