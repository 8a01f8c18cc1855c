// zeno-host agw as the host for a TNC engine: first against a stand-in
// engine on loopback, then the whole station with direwolf taking audio over
// UDP, kestrel --headless and the test APRS-IS server, in a network
// namespace of its own (direwolf listens on every interface).

#include "host/hostmailbox.h"
#include "host/mailbox/directorystore.h"
#include "test-servers/aprsistestserver.h"
#include "support/child.h"
#include "support/tempstation.h"
#include "zeno-host/agw.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace zenohost;

namespace {

const char *kInside = "KESTREL_TEST_NETNS";

QByteArray mailboxText(const TempStation &s, const char *key)
{
    return TempStation::readFile(s.mailboxPath(key, "String"));
}

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// N1ABC-9>APRS,N1DIG*,WIDE2-1 in AX.25.
std::string ax25(const std::string &info, char control = 0x03)
{
    const auto address = [](const char *call, int ssid, int flags) {
        std::string f;
        for (std::size_t i = 0; i < 6; ++i)
            f += static_cast<char>((i < std::strlen(call) ? call[i] : ' ') << 1);
        return f + static_cast<char>(0x60 | ssid << 1 | flags);
    };
    return address("APRS", 0, 0) + address("N1ABC", 9, 0) + address("N1DIG", 0, 0x80) +
           address("WIDE2", 1, 1) + control + '\xf0' + info;
}

// A frame as the engine hands it over raw.
QByteArray raw(quint8 port, const std::string &frame)
{
    return bytes(agw::encode({port, 'K', 0, "N1ABC-9", "APRS", '\0' + frame}));
}

// The next whole frame the engine's side of the link gets, within 5 s.
agw::Frame nextFrame(QTcpSocket &link, agw::Reader &reader)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        if (auto frame = reader.next())
            return *frame;
        QTest::qWait(20);
        const QByteArray got = link.readAll();
        reader.append(got.constData(), static_cast<std::size_t>(got.size()));
    }
    return {};
}

} // namespace

class TestDirewolf : public QObject
{
    Q_OBJECT

private slots:
    void standInEngine()
    {
        TempStation s;
        QTcpServer engine;
        QVERIFY(engine.listen(QHostAddress::LocalHost));
        const quint16 port = engine.serverPort();
        engine.close();
        Child zeno(programUnderTest("ZENO_HOST_BIN"),
                   {"--mailbox", s.mailboxDir(), "agw", "127.0.0.1:" + QString::number(port)});
        const auto tell = qScopeGuard([&] {
            if (QTest::currentTestFailed())
                qWarning().noquote() << "zeno-host:\n" << zeno.out() << zeno.err();
        });
        QTRY_COMPARE_WITH_TIMEOUT(mailboxText(s, "Status"), "Zeno running, but no AGWPE!", 5000);

        // It keeps trying, then asks for raw frames, monitor texts, the ports.
        QVERIFY(engine.listen(QHostAddress::LocalHost, port));
        QTRY_VERIFY_WITH_TIMEOUT(engine.hasPendingConnections(), 5000);
        QTcpSocket *link = engine.nextPendingConnection();
        agw::Reader reader;
        for (const char kind : {'k', 'm', 'G'})
            QCOMPARE(nextFrame(*link, reader).kind, kind);
        QCOMPARE(mailboxText(s, "Status"), "Zeno running, but no AGWPE!");
        link->write(bytes(agw::encode({0, 'G', 0, {}, {}, std::string("1;Port1\0", 8)})));
        QTRY_COMPARE_WITH_TIMEOUT(mailboxText(s, "Status"), "Zeno Server Active!", 5000);

        // Only well-formed UI frames are stored; the rest is passed over.
        link->write(raw(0, ax25(">connected", 0x00)));
        link->write(raw(0, ax25(">x").substr(0, 12)));
        link->write(raw(0, ax25(">hello")));
        const QByteArray heard = " 1:Fm N1ABC-9 To APRS Via N1DIG*,WIDE2-1 <UI pid=F0 Len=6 >[";
        QTRY_VERIFY_WITH_TIMEOUT(mailboxText(s, "RXData").startsWith(heard), 5000);
        QVERIFY(mailboxText(s, "RXData").endsWith("]\r>hello"));

        // The gateway's own writer hands over the commands.
        kestrel::mailbox::DirectoryStore store(s.mailboxDir().toStdString());
        kestrel::HostMailbox gateway(store);
        gateway.selectPorts("2", "2");
        gateway.setTransmitAddressing("WIDE1-1");
        gateway.transmitText(":}N2XYZ-3>APRS,TCPIP*::N1ABC-9  :hi{01\r\n");
        const agw::Frame v = nextFrame(*link, reader);
        QCOMPARE(v.kind, 'V');
        QCOMPARE(v.port, 1);
        QCOMPARE(v.callFrom + ">" + v.callTo, "N1IGT-10>APKR02");
        QCOMPARE(v.data,
                 std::string("\x01WIDE1-1\0\0\0", 11) + "}N2XYZ-3>APRS,TCPIP*::N1ABC-9  :hi{01");

        // Receiving on the second port only.
        link->write(raw(0, ax25(">first port")));
        link->write(raw(1, ax25(">second port")));
        QTRY_VERIFY_WITH_TIMEOUT(mailboxText(s, "RXData").endsWith(">second port"), 5000);
        QVERIFY(mailboxText(s, "RXData").startsWith(" 2:Fm N1ABC-9"));
        // (its line may reach us a little after the mailbox value)
        QTRY_COMPARE_WITH_TIMEOUT(('\n' + zeno.out()).count("\nRX "), 2, 3000);

        // A length no engine sends ends the link; it connects anew.
        link->write(QByteArray(28, '\0') + QByteArray("\0\0\x10\0", 4) + QByteArray(4, '\0'));
        QTRY_COMPARE_WITH_TIMEOUT(mailboxText(s, "Status"), "Zeno running, but no AGWPE!", 5000);
        QTRY_VERIFY_WITH_TIMEOUT(engine.hasPendingConnections(), 5000);

        zeno.signal(SIGTERM);
        QCOMPARE(zeno.finish(), 0);
        QCOMPARE(mailboxText(s, "Status"), "Zeno Terminated!");
    }

    void throughDirewolf()
    {
        if (qEnvironmentVariableIsEmpty(kInside)) {
            runInNamespace("throughDirewolf");
            return;
        }
        TempStation s;
        AprsIsTestServer server;
        QVERIFY(server.listen());
        s.writeSettings({"APRS-IS Port=" + QString::number(server.port()), "Log Inet_RF= 1",
                         "IGate>RF Port=1", "Type Message= 1"});
        s.writeFile(s.root() + "/direwolf.conf", "ADEVICE udp:7355 null\nARATE 44100\nCHANNEL 0\n"
                                                 "MYCALL N1IGT-10\nAGWPORT 8000\nKISSPORT 0\n");
        // Line-buffered, to be read as it goes.
        Child direwolf("stdbuf", {"-oL", "direwolf", "-t", "0", "-c", s.root() + "/direwolf.conf"});
        QTRY_VERIFY_WITH_TIMEOUT(direwolf.out().contains("Ready to accept AGW client"), 10000);
        s.setMailboxValue("Status", "String", {}); // active only once direwolf has answered
        Child zeno(programUnderTest("ZENO_HOST_BIN"),
                   {"--mailbox", s.mailboxDir(), "agw", "127.0.0.1:8000"});
        QTRY_COMPARE_WITH_TIMEOUT(mailboxText(s, "Status"), "Zeno Server Active!", 5000);
        Child kestrel(programUnderTest("KESTREL_BIN"),
                      {"--headless", "--connect", "--program-dir", s.programDir(), "--mailbox",
                       s.mailboxDir()});
        const auto tell = qScopeGuard([&] {
            if (QTest::currentTestFailed())
                qWarning().noquote() << "direwolf:\n"
                                     << direwolf.out() << "\nzeno-host:\n"
                                     << zeno.out() << zeno.err() << "\nkestrel:\n"
                                     << kestrel.out() << kestrel.err();
        });
        QTRY_VERIFY_WITH_TIMEOUT(server.loggedIn(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(zeno.out().contains("SETTVF to=APKR02 via=ARISS"), 5000);

        play(s, "N1ABC-9>APRS,N1DIG*,WIDE2-1:!4903.50N/07201.75W-Test");
        QTRY_VERIFY_WITH_TIMEOUT(
            server.lines().contains(
                "N1ABC-9>APRS,N1DIG*,WIDE2-1,qAR,N1IGT-10:!4903.50N/07201.75W-Test"),
            10000);

        const QByteArray message = "N2XYZ-3>APRS,TCPIP*,qAC,TEST0::N1ABC-9  :hello Test{01";
        server.pushLines({message});
        QTRY_VERIFY_WITH_TIMEOUT(direwolf.out().contains("N1IGT-10>APKR02,ARISS:}" + message),
                                 15000);
        QTRY_VERIFY_WITH_TIMEOUT(zeno.out().contains("SENT  1:Fm N1IGT-10 To APKR02 Via ARISS "
                                                     "<UI pid=F0 Len=55 "),
                                 5000);
        QVERIFY(zeno.out().contains("]\\r}" + message + '\n'));

        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
        zeno.signal(SIGTERM);
        QCOMPARE(zeno.finish(), 0);
        QCOMPARE(mailboxText(s, "Status"), "Zeno Terminated!");
    }

private:
    // The packet as direwolf's companion makes it into audio, then a second
    // of silence so that the channel is seen clear again.
    static void play(const TempStation &s, const QByteArray &packet)
    {
        QProcess gen;
        gen.start("gen_packets", {"-o", s.root() + "/packet.wav", "-"});
        gen.write(packet);
        gen.closeWriteChannel();
        QVERIFY(gen.waitForFinished(10000) && gen.exitCode() == 0);
        const QByteArray pcm =
            TempStation::readFile(s.root() + "/packet.wav").mid(44) + QByteArray(88200, '\0');
        QVERIFY(pcm.size() > 88200);
        QUdpSocket udp;
        for (qsizetype at = 0; at < pcm.size(); at += 2000) {
            udp.writeDatagram(pcm.mid(at, 2000), QHostAddress::LocalHost, 7355);
            QThread::msleep(2);
        }
    }

    // Runs one test of this program again inside a new network namespace
    // with nothing but loopback.
    static void runInNamespace(const char *test)
    {
        if (geteuid() != 0)
            QSKIP("a network namespace for direwolf needs root");
        const QString ip = QStandardPaths::findExecutable("ip", {"/usr/sbin", "/sbin", "/usr/bin"});
        for (const QString &tool : {QString("direwolf"), QString("gen_packets")})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(tool + " is not installed (Debian package direwolf)"));
        if (ip.isEmpty())
            QSKIP("ip (iproute2) is not installed");
        const QString ns = QStringLiteral("kestrel-dw-%1").arg(QCoreApplication::applicationPid());
        if (QProcess::execute(ip, {"netns", "add", ns}) != 0)
            QSKIP("cannot make a network namespace");
        const auto removeNamespace = qScopeGuard([&] {
            QProcess::execute(ip, {"netns", "delete", ns});
        });
        QCOMPARE(QProcess::execute(ip, {"netns", "exec", ns, ip, "link", "set", "lo", "up"}), 0);

        QProcess inner;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kInside, ns);
        inner.setProcessEnvironment(env);
        inner.setProcessChannelMode(QProcess::MergedChannels);
        inner.start(ip, {"netns", "exec", ns, QCoreApplication::applicationFilePath(), test});
        const bool ended = inner.waitForFinished(90000);
        if (!ended)
            inner.kill();
        const QByteArray out = inner.readAll();
        const bool passed = ended && inner.exitCode() == 0 &&
                            out.contains(QByteArray("PASS   : TestDirewolf::") + test);
        if (!passed)
            std::fputs(out.constData(), stderr);
        QVERIFY2(passed, "the test inside the namespace failed (its output is above)");
    }
};

QTEST_GUILESS_MAIN(TestDirewolf)
#include "tst_direwolf.moc"
