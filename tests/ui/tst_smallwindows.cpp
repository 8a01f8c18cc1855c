#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "support/tempstation.h"
#include "ui/smallwindows.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

using namespace kestrel;

// What the program hands to the desktop.
class Opened : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestSmallWindows : public QObject
{
    Q_OBJECT

    struct Station
    {
        explicit Station(bool started = true)
            : store(s.mailboxDir().toStdString()),
              gateway(ProgramFolder(s.programDir()), store, clock)
        {
            if (started)
                gateway.start();
        }
        TempStation s;
        mailbox::DirectoryStore store;
        Clock clock;
        Gateway gateway;
    };

    template <typename T> static T *child(QWidget &w, const char *name)
    {
        return w.findChild<T *>(QString::fromLatin1(name));
    }
    static QString text(QWidget &w, const char *name) { return child<QLabel>(w, name)->text(); }

    static QList<QMessageBox *> messageBoxes()
    {
        QList<QMessageBox *> boxes;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                boxes << box;
        return boxes;
    }

    Opened opened;

private slots:
    void init()
    {
        opened.urls.clear();
        QDesktopServices::setUrlHandler("http", &opened, "open");
        QDesktopServices::setUrlHandler("file", &opened, "open");
    }

    void cleanup()
    {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("file");
        for (QMessageBox *box : messageBoxes())
            box->close();
    }

    void frameAtTakesBothRowsOfAFrame()
    {
        const QStringList rows{">Cut off", "N0CALL-7>APRS,WIDE1-1:", "!4903.50N/07201.75W-",
                               "N0CALL-9>APRS:"};
        const QString whole = "N0CALL-7>APRS,WIDE1-1:!4903.50N/07201.75W-";
        QCOMPARE(FrameWindow::frameAt(rows, 1), whole);
        QCOMPARE(FrameWindow::frameAt(rows, 2), whole);
        QCOMPARE(FrameWindow::frameAt(rows, 0), QStringLiteral(">Cut off"));
        QCOMPARE(FrameWindow::frameAt(rows, 3), QStringLiteral("N0CALL-9>APRS:"));
        QCOMPARE(FrameWindow::frameAt(rows, 4), QString());
    }

    void frameWindowLooksUpTheSender()
    {
        Station st;
        FrameWindow w(st.gateway.services());
        w.showFrame("N0CALL-7>APRS,WIDE1-1:!4903.50N/07201.75W-");
        QVERIFY(w.isVisible() && !w.isModal());
        QCOMPARE(text(w, "Label1"), QStringLiteral("N0CALL-7>APRS,WIDE1-1:!4903.50N/07201.75W-"));
        auto *callbook = child<QPushButton>(w, "Command1");
        auto *aprs = child<QPushButton>(w, "Command2");
        QCOMPARE(callbook->text(), QStringLiteral("N0CALL-7 en www.qrz.com"));
        QCOMPARE(aprs->text(), QStringLiteral("N0CALL-7 en www.findu.com"));
        callbook->click();
        QVERIFY(!w.isVisible());
        w.showFrame("N0CALL-7>APRS,WIDE1-1:!4903.50N/07201.75W-");
        aprs->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(opened.urls,
                 (QList<QUrl>{QUrl("http://www.qrz.com/db/N0CALL"),
                              QUrl("http://www.findu.com/cgi-bin/find.cgi?N0CALL-7")}));

        // The gateway's services as they are now, whatever the call holds.
        st.gateway.services().aprsLookupHost = "127.0.0.1:8081";
        w.showFrame("N0#A&B>APRS:>On the air");
        QCOMPARE(aprs->text(), QStringLiteral("N0#A&B en 127.0.0.1"));
        aprs->click();
        QCOMPARE(opened.urls.last().toString(QUrl::FullyEncoded),
                 QStringLiteral("http://127.0.0.1:8081/cgi-bin/find.cgi?N0%23A%26B"));
        QCOMPARE(callbookLookup(st.gateway.services(), "../N0?X-1").toString(QUrl::FullyEncoded),
                 QStringLiteral("http://www.qrz.com/db/..%2FN0%3FX"));

        // A line without a sender is only shown.
        w.hide();
        w.showFrame("# logresp N0CALL verified");
        QCOMPARE(text(w, "Label1"), QStringLiteral("# logresp N0CALL verified"));
        QVERIFY(!w.isVisible());
    }

    void statisticsFollowTheGateway()
    {
        // Built before start-up, as in the desktop program.
        Station st(false);
        StatisticsWindow w(st.gateway);
        st.gateway.start();
        w.show();
        const char *names[] = {"RfToInet", "InetToRf", "RfRx", "RfTx", "InetTx", "InetRx"};
        QCOMPARE(text(w, "InetRx"), QStringLiteral("0"));
        // Each counter a different number of times: no label shows another's.
        for (int c = 0; c < StateTexts::CounterCount; ++c)
            for (int n = 0; n <= c; ++n)
                st.gateway.texts().bump(static_cast<StateTexts::Counter>(c));
        for (int c = 0; c < StateTexts::CounterCount; ++c)
            QCOMPARE(text(w, names[c]), QString::number(c + 1));
        // And why frames did not go on, each reason met.
        st.gateway.refusals().add(Refusal::NoGate);
        st.gateway.refusals().add(Refusal::RateLimit);
        st.gateway.refusals().add(Refusal::RateLimit);
        QCOMPARE(text(w, "NotGated"),
                 QStringLiteral("Not gated (NOGATE): 1\nNot gated (rate limit): 2"));

        // The ports the host was told: those of start-up, then each OK's.
        QCOMPARE(text(w, "RfPortIGate"), QStringLiteral("Port:1"));
        QCOMPARE(text(w, "IGateRfPort"), QStringLiteral("Port:0"));
        st.gateway.settings().setText(Settings::RfPortIGate, "All");
        st.gateway.settings().setText(Settings::IGateRfPort, "2");
        QCOMPARE(text(w, "RfPortIGate"), QStringLiteral("Port:1"));
        QVERIFY(st.gateway.confirmSettings());
        QCOMPARE(text(w, "RfPortIGate"), QStringLiteral("Port:All"));
        QCOMPARE(text(w, "IGateRfPort"), QStringLiteral("Port:2"));
        child<QPushButton>(w, "Command1")->click();
        QVERIFY(!w.isVisible());
    }

    void aboutWindow()
    {
        QCoreApplication::setApplicationName("Zeno Kestrel");
        QCoreApplication::setApplicationVersion("3.4.5.6");
        QPointer<AboutWindow> about = new AboutWindow;
        about->show();
        QCOMPARE(about->windowTitle(), QStringLiteral("Acerca de Zeno Kestrel"));
        QCOMPARE(text(*about, "lblVersion"), QStringLiteral("Version 3.4.5"));
#ifndef Q_OS_WIN
        child<QPushButton>(*about, "cmdSysInfo")->click();
        const QList<QMessageBox *> boxes = messageBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->text(), QStringLiteral("System Info is not available at this moment"));
        QVERIFY(!boxes[0]->isModal());
#endif
        child<QPushButton>(*about, "cmdOK")->click();
        QTRY_VERIFY(about.isNull());
    }

#ifndef Q_OS_WIN
    void helpBesideTheProgram()
    {
        const QString path = QCoreApplication::applicationDirPath() + "/help.html";
        if (QFileInfo::exists(path))
            QSKIP("a help.html is already beside the test program");
        openHelp();
        QVERIFY(opened.urls.isEmpty());
        QCOMPARE(messageBoxes().size(), 1);
        QVERIFY(messageBoxes()[0]->text().contains(path));
        QVERIFY(!messageBoxes()[0]->isModal());

        QFile help(path);
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.close();
        const auto remove = qScopeGuard([&] { QFile::remove(path); });
        openHelp();
        QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(path)});
    }
#endif
};

QTEST_MAIN(TestSmallWindows)
#include "tst_smallwindows.moc"
