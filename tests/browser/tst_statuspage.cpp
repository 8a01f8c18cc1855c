// The status page in a real browser: headless Chromium loads it from kestrel
// --headless, the DOM it built is read back, a screenshot left in the build folder.

#include "support/fixtures.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

class TestBrowser : public QObject
{
    Q_OBJECT

    QString chromium_;
    QTemporaryDir profile_;

    // No sandbox (root), nothing fetched in the background, a profile of its own.
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
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString port = QString::number(probe.serverPort());
        probe.close();
        Headless h({"Web Server YES/NO= 1", "Web Server Port=" + port});
        h.station.writeFile(h.station.programFile("Web/server.htm"),
                            "<html><head><title>#V1 status</title></head><body>\r\n"
                            "<p id=\"record\">#V6</p>\r\n");
        h.station.writeFile(h.station.programFile("positions.txt"), "N7FAR-1   120.5km 90\xb0\r\n");
        h.start({"--connect", "--web-address", "127.0.0.1"});
        QVERIFY(h.loggedIn() && h.says("Web server: WEB SERVER ON") && h.says("DX: N7FAR-1"));
        const QString attack = "><script>document.title='pwned'</script><img src=x>";
        QVERIFY(h.take(sample::monitor("N1ABC-7", attack, "RS0ISS*")));
        QVERIFY(h.serverGot(sample::gated("N1ABC-7", attack, "RS0ISS*")));

        const QString url = "http://127.0.0.1:" + port + "/";
        const QString dom = QString::fromUtf8(chromium({"--dump-dom", url}));
        QVERIFY2(dom.contains("<title>N1IGT-10 status</title>"), qPrintable(dom.left(300)));
        // Latin-1 as the page says: the degree sign arrives whole.
        QVERIFY(dom.contains("<p id=\"record\">N7FAR-1   120.5km 90\u00b0"));
        QVERIFY(dom.contains("<h2><a href=\"http://www.findu.com/cgi-bin/find.cgi?N1ABC-7\">"
                             "N1ABC-7</a></h2>"));
        QVERIFY(dom.contains("<p>N1ABC-7&gt;APRS,RS0ISS*,qAR,N1IGT-10:</p>"));
        // What came from the air is text on the page: no element, nothing run
        // (the title would show it).
        QVERIFY(dom.contains("<p>&gt;&lt;script&gt;document.title='pwned'&lt;/script&gt;&lt;img"));
        QVERIFY(!dom.contains("<script") && !dom.contains("<img"));

        const QString shot = QDir::current().absoluteFilePath("status-page.png");
        QFile::remove(shot);
        chromium({"--screenshot=" + shot, "--window-size=1000,700", url});
        QVERIFY(QFileInfo(shot).size() > 1000);
        QCOMPARE(h.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBrowser)
#include "tst_statuspage.moc"
