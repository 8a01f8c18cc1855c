// The whole station with a real TNC engine: direwolf takes a packet as audio
// over UDP and hands it over AGW or KISS to zeno-host, kestrel --headless gates
// it to the test APRS-IS server, and a message from the server goes back out
// through direwolf. direwolf listens on every interface, so the test runs in
// a network namespace of its own with nothing but loopback.

#include "support/fixtures.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QThread>
#include <QUdpSocket>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char *kInside = "KESTREL_TEST_NETNS";

// The packet as direwolf's companion makes it into audio (16-bit mono at
// 44100 Hz), then a second of silence so that the channel is seen clear.
bool play(const TempStation &s, const QByteArray &packet)
{
    s.writeFile(s.root() + "/packet.txt", packet + '\n');
    if (QProcess::execute("gen_packets",
                          {"-o", s.root() + "/packet.wav", s.root() + "/packet.txt"}))
        return false;
    const QByteArray pcm =
        TempStation::readFile(s.root() + "/packet.wav").mid(44) + QByteArray(88200, '\0');
    QUdpSocket udp;
    for (qsizetype at = 0; at < pcm.size(); at += 2000) {
        udp.writeDatagram(pcm.mid(at, 2000), QHostAddress::LocalHost, 7355);
        // Paced near the sound's own rate, so that no datagram is dropped.
        QThread::msleep(2);
    }
    return pcm.size() > 88200;
}

// The configuration the README shows for direwolf, its sound card and
// serial port lines swapped whole for the test's: audio over UDP, a
// pseudo-terminal. Anything more on those lines leaves them as they are, and
// direwolf without a sound card.
QByteArray readme()
{
    return TempStation::readFile(qEnvironmentVariable("KESTREL_SOURCE") + "/README.md");
}

QByteArray readmeConfiguration(const QByteArray &serialPort)
{
    const QByteArray readme = ::readme();
    const qsizetype from = readme.indexOf("```\n", readme.indexOf("in `direwolf.conf`")) + 4;
    QByteArray conf = '\n' + readme.mid(from, readme.indexOf("   ```\n", from) - from);
    return conf.replace("\n   ", "\n")
        .replace("\nADEVICE plughw:1,0\n", "\nADEVICE udp:7355 null\nARATE 44100\n")
        .replace("\nPTT /dev/ttyUSB0 RTS\n", "\nPTT " + serialPort + " RTS\n");
}

} // namespace

class TestDirewolf : public QObject
{
    Q_OBJECT

private slots:
    // The bridge as the README starts it, and direwolf's line for its port.
    void throughDirewolf_data()
    {
        QTest::addColumn<QStringList>("bridge");
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<QByteArray>("ready");
        QTest::newRow("agw") << QStringList{"agw", "127.0.0.1:8000"} << QByteArray("AGWPORT 8000")
                             << QByteArray("Ready to accept AGW client");
        QTest::newRow("kiss") << QStringList{"kiss", "127.0.0.1:8001"}
                              << QByteArray("KISSPORT 8001")
                              << QByteArray("Ready to accept KISS TCP client");
    }

    void throughDirewolf()
    {
        QFETCH(QStringList, bridge);
        QFETCH(QByteArray, port);
        QFETCH(QByteArray, ready);
        QVERIFY(readme().contains("zeno-host --mailbox ~/station/mailbox " +
                                  bridge.join(' ').toLatin1() + '\n'));
        if (qEnvironmentVariableIsEmpty(kInside)) {
            runInNamespace(QByteArray("throughDirewolf:") + QTest::currentDataTag());
            return;
        }
        // "Log Inet_RF" is what lets packets from APRS-IS go on the air.
        Headless h({"Log Inet_RF= 1", "IGate>RF Port=1", "Type Message= 1"});
        TempStation &s = h.station;
        const int pty = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(pty >= 0 && grantpt(pty) == 0 && unlockpt(pty) == 0);
        const auto closePty = qScopeGuard([pty] { ::close(pty); });
        const QByteArray conf = readmeConfiguration(ptsname(pty));
        QVERIFY2(conf.contains("\nADEVICE udp:7355 null\n") && conf.contains("\nPTT /dev/pts/") &&
                     conf.contains('\n' + port + '\n'),
                 conf);
        s.writeFile(s.root() + "/direwolf.conf", conf);
        // Line-buffered, to be read as it goes.
        Child direwolf("stdbuf", {"-oL", "direwolf", "-t", "0", "-c", s.root() + "/direwolf.conf"});
        QTRY_VERIFY_WITH_TIMEOUT(direwolf.out().contains(ready), 10000);
        s.setMailboxValue("Status", "String", {}); // active only once direwolf has answered
        Child zeno(programUnderTest("ZENO_HOST_BIN"),
                   QStringList{"--mailbox", s.mailboxDir()} + bridge);
        QTRY_COMPARE_WITH_TIMEOUT(s.mailboxValue("Status", "String"), "Zeno Server Active!", 5000);
        h.start();
        const auto tell = qScopeGuard([&] {
            if (QTest::currentTestFailed())
                qWarning().noquote() << direwolf.out() << zeno.out() << zeno.err()
                                     << h.kestrel->out() << h.kestrel->err();
        });
        QVERIFY(h.loggedIn());
        QTRY_VERIFY_WITH_TIMEOUT(zeno.out().contains("SETTVF to=APKR02 via=ARISS"), 5000);

        QVERIFY(play(s, "N1ABC-9>APRS,N1DIG*,WIDE2-1:" + sample::kPosition.toLatin1()));
        QVERIFY(h.serverGot(sample::gated("N1ABC-9", sample::kPosition, "N1DIG*,WIDE2-1"), 10000));

        const QByteArray message = "N2XYZ-3>APRS,TCPIP*,qAC,TEST0::N1ABC-9  :hello Test{01";
        h.server.pushLines({message});
        QTRY_VERIFY_WITH_TIMEOUT(direwolf.out().contains("N1IGT-10>APKR02,ARISS:}" + message),
                                 15000);

        QCOMPARE(h.stop(), 0);
        zeno.signal(SIGTERM);
        QCOMPARE(zeno.finish(), 0);
        QCOMPARE(s.mailboxValue("Status", "String"), "Zeno Terminated!");
    }

private:
    // Runs one test of this program again inside a new network namespace
    // with nothing but loopback.
    static void runInNamespace(const QByteArray &test)
    {
        if (geteuid() != 0)
            QSKIP("a network namespace for direwolf needs root");
        const QString ip = QStandardPaths::findExecutable("ip", {"/usr/sbin", "/sbin", "/usr/bin"});
        if (ip.isEmpty() || QStandardPaths::findExecutable("direwolf").isEmpty() ||
            QStandardPaths::findExecutable("gen_packets").isEmpty())
            QSKIP("needs direwolf and gen_packets (Debian package direwolf), ip (iproute2)");
        const QString ns = QStringLiteral("kestrel-dw-%1").arg(QCoreApplication::applicationPid());
        if (QProcess::execute(ip, {"netns", "add", ns}) != 0)
            QSKIP("cannot make a network namespace");
        const auto gone = qScopeGuard([&] { QProcess::execute(ip, {"netns", "delete", ns}); });
        QCOMPARE(QProcess::execute(ip, {"netns", "exec", ns, ip, "link", "set", "lo", "up"}), 0);

        QProcess inner;
        qputenv(kInside, ns.toLatin1());
        inner.setProcessChannelMode(QProcess::MergedChannels);
        inner.start(ip, {"netns", "exec", ns, QCoreApplication::applicationFilePath(),
                         QString::fromLatin1(test)});
        const bool ended = inner.waitForFinished(90000);
        const QByteArray out = inner.readAll(); // its output, shown if it failed
        QVERIFY2(ended && inner.exitCode() == 0 &&
                     out.contains("PASS   : TestDirewolf::" + test.split(':')[0] + '(' +
                                  test.split(':')[1] + ')'),
                 out.constData());
    }
};

QTEST_GUILESS_MAIN(TestDirewolf)
#include "tst_direwolf.moc"
