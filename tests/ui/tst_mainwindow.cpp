#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "support/child.h"
#include "test-servers/httptestserver.h"
#include "support/tempstation.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <csignal>

using namespace kestrel;

// The addresses the desktop was asked to open.
class Opened : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestMainWindow : public QObject
{
    Q_OBJECT

    // The window is built before start-up, as in the desktop program.
    struct Station
    {
        explicit Station(const QByteArray &services = {})
            : store(s.mailboxDir().toStdString()),
              gateway(ProgramFolder(s.programDir()), store, clock)
        {
            s.writeFile(s.programFile("mheard.txt"), "N1ABC-7   06-12-26 13:59:00 RS0ISS*\r\n");
            if (!services.isEmpty())
                s.writeFile(s.programFile("services.ini"), services);
            gateway.start();
        }
        TempStation s;
        mailbox::DirectoryStore store;
        Clock clock;
        Gateway gateway;
        MainWindow window{gateway};
    };

    template <typename T> static T *child(QWidget &w, const char *name)
    {
        T *found = w.findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qWarning("no control %s", name);
        return found;
    }

private slots:
    void controlsShowTheGateway()
    {
        Station st;
        MainWindow &w = st.window;
        w.show();
        QCOMPARE(w.objectName(), QStringLiteral("Form1"));
        QCOMPARE(child<QLabel>(w, "Label2")->text(), QStringLiteral("DISCONNECTED"));
        QCOMPARE(child<QLabel>(w, "Label8")->text(), "CallSign:" + TempStation::kCall);
        QCOMPARE(child<QLabel>(w, "Label6")->text(), QStringLiteral("WEB SERVER OFF"));
        QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Disabled"));
        QCOMPARE(child<QLabel>(w, "Label30")->text(), QStringLiteral("0"));
        QVERIFY(child<QPushButton>(w, "Command2")->isEnabled());
        QCOMPARE(child<QGroupBox>(w, "Frame10")->title(), QStringLiteral("ISS Position Object"));

        // Views follow the gateway's state as it changes.
        QListView *mheard = child<QListView>(w, "List4");
        QCOMPARE(mheard->model()->rowCount(), 1);
        st.gateway.mheardList().append("N2XYZ-9   06-12-26 14:00:00 ");
        QCOMPARE(mheard->model()->index(1, 0).data().toString(),
                 QStringLiteral("N2XYZ-9   06-12-26 14:00:00 "));
        st.gateway.texts().set(StateTexts::ConnectionState, QStringLiteral("Connecting ..."));
        QCOMPARE(child<QLabel>(w, "Label2")->text(), QStringLiteral("Connecting ..."));
        st.gateway.settings().setCheck(Settings::IssObject, true);
        QCOMPARE(child<QGroupBox>(w, "Frame10")->title(), QStringLiteral("+ISS Position Object"));
        QVERIFY(child<QProgressBar>(w, "Shape3")->isVisible());
        for (const char *name :
             {"List2", "List3", "List5", "Label5", "Label9", "Label10", "Label12", "Label29"})
            QVERIFY2(child<QWidget>(w, name), name);
    }

    void commandsReachTheGateway()
    {
        Station st;
        MainWindow &w = st.window;
        w.show();
        QCheckBox *listAll = child<QCheckBox>(w, "Check1");
        QVERIFY(!listAll->isChecked());
        listAll->click();
        QVERIFY(st.gateway.listAllPackets());

        QVERIFY(st.gateway.timer("Timer1").isActive());
        child<QPushButton>(w, "Command2")->click();
        QVERIFY(!st.gateway.timer("Timer1").isActive());

        // F5 fetches the ISS position; the line turns green above the horizon.
        HttpTestServer web;
        QVERIFY(web.listen());
        web.body = HttpTestServer::issPage("4957.50N", "07200.00W");
        st.gateway.services().aprsLookupHost = web.host();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F5);
        QLabel *line = child<QLabel>(w, "Label4");
        QTRY_VERIFY(line->text().startsWith("100km/62mi"));
        QCOMPARE(line->palette().color(QPalette::WindowText), QColor(0, 192, 0));
        QVERIFY(line->font().bold());

        // Closing the window saves the lists and ends the program.
        QSignalSpy quit(&st.gateway, &Gateway::quitRequested);
        st.gateway.mheardList().append("N2XYZ-9   06-12-26 14:00:00 ");
        QVERIFY(!w.close());
        QCOMPARE(quit.size(), 1);
        QCOMPARE(TempStation::readFile(st.s.programFile("mheard.txt")).count('\n'), 2);
    }

    void lookUpsFromTheLists()
    {
        Station st("[services]\naprs_lookup_host=aprs.example.net\n"
                   "callbook_host=http://calls.example.org:8080\n");
        Opened opened;
        QDesktopServices::setUrlHandler("http", &opened, "open");
        MainWindow &w = st.window;
        w.show();
        st.gateway.mheardList().append("N0CALL-9  06-12-26 14:00:00 RS0ISS*");
        QListView *heard = child<QListView>(w, "List4");
        QMenu *menu = child<QMenu>(w, "busca_inet");
        // Right-click with nothing selected: no pop-up.
        QTest::mouseClick(heard->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QVERIFY(!menu->isVisible());
        heard->setCurrentIndex(heard->model()->index(1, 0));
        QTest::mouseClick(heard->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
        // The services of services.ini, by name.
        QCOMPARE(child<QAction>(w, "fi")->text(), QStringLiteral("aprs.example.net"));
        QCOMPARE(child<QAction>(w, "qrz")->text(), QStringLiteral("calls.example.org"));
        child<QAction>(w, "fi")->trigger();
        child<QAction>(w, "qrz")->trigger();
        QCOMPARE(opened.urls,
                 (QList<QUrl>{QUrl("http://aprs.example.net/cgi-bin/find.cgi?N0CALL-9"),
                              QUrl("http://calls.example.org:8080/db/N0CALL")}));

        // Either row of a frame in the Internet list opens the same frame.
        st.gateway.internetList().append("N0CALL-7>APRS,WIDE1-1:");
        st.gateway.internetList().append("!4903.50N/07201.75W-");
        QListView *packets = child<QListView>(w, "List2");
        auto *frame = child<QDialog>(w, "Form5");
        for (int row : {0, 1}) {
            frame->hide();
            emit packets->doubleClicked(packets->model()->index(row, 0));
            QVERIFY(frame->isVisible());
            QCOMPARE(frame->findChild<QLabel *>("Label1")->text(),
                     QStringLiteral("N0CALL-7>APRS,WIDE1-1:!4903.50N/07201.75W-"));
        }
        QDesktopServices::unsetUrlHandler("http");

        // The menus reach the setup dialog and the statistics.
        child<QAction>(w, "DXC")->trigger();
        QVERIFY(child<QDialog>(w, "Form2")->isVisible());
        child<QAction>(w, "estadistica")->trigger();
        QVERIFY(child<QDialog>(w, "Form7")->isVisible());
    }

    void exitMenuSavesNoLists()
    {
        Station st;
        MainWindow &w = st.window;
        QTemporaryDir cwd;
        const QString old = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        st.gateway.mheardList().append("N2XYZ-9   06-12-26 14:00:00 ");
        QSignalSpy quit(&st.gateway, &Gateway::quitRequested);
        child<QAction>(w, "Salir")->trigger();
        QDir::setCurrent(old);
        QCOMPARE(quit.size(), 1);
        QVERIFY(QFileInfo::exists(cwd.path() + "/estaciones.txt"));
        QCOMPARE(TempStation::readFile(st.s.programFile("mheard.txt")).count('\n'), 1);
    }

    // The desktop program itself: what kestrel.ini holds is in force whole,
    // also where a box would let the operator type less (the web server's
    // port, written with leading zeros to the file's limit, has a box of
    // five), and a run without OK leaves the file as it was.
    void desktopProgramKeepsTheFile()
    {
        TempStation s;
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            port = probe.serverPort();
        }
        s.writeSettings({"Web Server YES/NO= 1",
                         "Web Server Port=" + QString::number(port).rightJustified(50, u'0'),
                         "Status Text=" + QString(50, u's'), "Interval=10800"});
        const QByteArray before = TempStation::readFile(s.programFile("kestrel.ini"));
        Child kestrel(programUnderTest("KESTREL_BIN"),
                      {"--web-address", "127.0.0.1", "--program-dir", s.programDir(), "--mailbox",
                       s.mailboxDir()});
        const auto served = [port] {
            QTcpSocket page;
            page.connectToHost(QHostAddress::LocalHost, port);
            if (!page.waitForConnected(200))
                return false;
            page.write("GET / HTTP/1.0\r\n\r\n");
            return page.waitForReadyRead(2000) && page.readAll().startsWith("HTTP/1.");
        };
        QTRY_VERIFY_WITH_TIMEOUT(served(), 10000);
        kestrel.signal(SIGTERM);
        QCOMPARE(kestrel.finish(), 0);
        QCOMPARE(TempStation::readFile(s.programFile("kestrel.ini")), before);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
