// The status page in a real browser: headless Chromium loads it from the
// running kestrel --headless, and what it shows is read back from the DOM
// it built. A screenshot of the page is left in the build folder.

#include "test-servers/aprsistestserver.h"
#include "support/child.h"
#include "support/tempstation.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class TestBrowser : public QObject
{
    Q_OBJECT

    QString chromium_;
    QTemporaryDir profile_;

    // Chromium as a test browser: no sandbox (root), nothing fetched in the
    // background, a profile of its own.
    QByteArray chromium(const QStringList &what)
    {
        QProcess p;
        p.start(chromium_,
                QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                            "--no-first-run", "--disable-background-networking",
                            "--disable-component-update", "--disable-sync",
                            "--user-data-dir=" + profile_.path()} +
                    what);
        if (!p.waitForFinished(60000))
            p.kill();
        return p.readAllStandardOutput();
    }

private slots:
    void initTestCase()
    {
        chromium_ = QStandardPaths::findExecutable("chromium");
        if (chromium_.isEmpty())
            QSKIP("Chromium is not installed (./run test installs it)");
    }

    void pageAsTheBrowserShowsIt()
    {
        AprsIsTestServer aprsis;
        QVERIFY(aprsis.listen());
        quint16 port;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            port = probe.serverPort();
        }
        TempStation s;
        s.writeSettings({"Web Server YES/NO= 1", "Web Server Port=" + QString::number(port),
                         "APRS-IS Port=" + QString::number(aprsis.port()),
                         "Web Comments=Kestrel test station"});
        s.writeFile(s.programFile("Web/server.htm"),
                    "<html><head><title>#V1 status</title></head><body>\r\n"
                    "<h1>#V1</h1>\r\n<p id=\"comments\">#V4</p>\r\n<p id=\"link\">#V2</p>\r\n"
                    "<p id=\"record\">#V6</p>\r\n");
        s.writeFile(s.programFile("positions.txt"), "N7FAR-1   120.5km 90\xb0\r\n");
        // Heard a minute ago, so the MHeard expiry keeps it.
        const QString heard =
            QDateTime::currentDateTime().addSecs(-60).toString("dd-MM-yy HH:mm:ss");
        s.writeFile(s.programFile("mheard.txt"), "N7FAR-1   " + heard.toLatin1() + " RS0ISS*\r\n");
        Child kestrel(programUnderTest("KESTREL_BIN"),
                      {"--headless", "--connect", "--web-address", "127.0.0.1", "--program-dir",
                       s.programDir(), "--mailbox", s.mailboxDir()});
        QTRY_VERIFY_WITH_TIMEOUT(aprsis.loggedIn(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("Web server: WEB SERVER ON"), 5000);
        QProcess rx;
        rx.start(
            programUnderTest("ZENO_HOST_BIN"),
            {"--mailbox", s.mailboxDir(), "rx",
             " 1:Fm N1ABC-7 To APRS Via RS0ISS* <UI pid=F0 Len=60 >[14:00:05]\\r>"
             "<script>document.title='pwned'</script><img src=x onerror=\"document.title='x'\">"});
        QVERIFY(rx.waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(aprsis.lines().size(), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(kestrel.out().contains("DX: N7FAR-1"), 5000);

        const QString url = QString("http://127.0.0.1:%1/").arg(port);
        const QString dom = QString::fromUtf8(chromium({"--dump-dom", url}));
        QVERIFY2(dom.contains("<title>N1IGT-10 status</title>"), qPrintable(dom.left(300)));
        QVERIFY(dom.contains("<p id=\"comments\">Kestrel test station</p>"));
        QVERIFY(dom.contains("<p id=\"link\">CONNECTED TO: "));
        // Latin-1 as the page says: the degree sign arrives whole.
        QVERIFY(dom.contains("<p id=\"record\">N7FAR-1   120.5km 90\u00b0"));
        QVERIFY(dom.contains(
            "<h2><a href=\"http://www.findu.com/cgi-bin/find.cgi?N7FAR-1\">N7FAR-1</a></h2>"));
        QVERIFY(dom.contains("<th>" + heard + "</th><th>RS0ISS*</th>"));
        QVERIFY(dom.contains("<p>N1ABC-7&gt;APRS,RS0ISS*,qAR,N1IGT-10:</p>"));
        // What came from the air is text on the page: no element, nothing run.
        QVERIFY(dom.contains("<p>&gt;&lt;script&gt;document.title='pwned'&lt;/script&gt;&lt;img"));
        QVERIFY(!dom.contains("<script") && !dom.contains("<img"));

        const QString shot = QDir::current().absoluteFilePath("status-page.png");
        QFile::remove(shot);
        chromium({"--screenshot=" + shot, "--window-size=1000,700", url});
        QVERIFY(QFileInfo(shot).size() > 1000);

        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBrowser)
#include "tst_browser.moc"
