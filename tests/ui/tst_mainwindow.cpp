// The main window as the desktop program builds it, before start-up: what it
// shows follows the gateway, and what the operator does reaches it.

#include "support/fixtures.h"
#include "ui/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

using namespace kestrel;

// The addresses the desktop was asked to open.
class Opened : public QObject
{
    Q_OBJECT
public:
    QStringList urls;
    Q_INVOKABLE void open(const QUrl &url) { urls << url.toString(QUrl::FullyEncoded); }
};

namespace {

// The desktop program's order: the windows first, then start-up.
struct Desk : InProcess
{
    Desk()
    {
        station.writeFile(station.programFile("services.ini"),
                          "[services]\naprs_lookup_host=aprs.example.net\n"
                          "callbook_host=http://calls.example.org:8080\n");
        start();
    }
    // The window's own part first: the setup dialog inside reuses names.
    template <typename T = QWidget> T *part(const char *name)
    {
        T *own = window.centralWidget()->findChild<T *>(QLatin1String(name));
        return own ? own : window.findChild<T *>(QLatin1String(name));
    }
    MainWindow window{gateway};
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    // Each part set to a text of its own, so that none shows another's.
    void followsTheStateTexts()
    {
        Desk d;
        const std::pair<const char *, StateTexts::Text> parts[] = {
            {"Label2", StateTexts::ConnectionState},  {"Label8", StateTexts::OwnCallText},
            {"Label6", StateTexts::WebServerState},   {"Label1", StateTexts::InetToRfStatus},
            {"Label30", StateTexts::Connections},     {"Frame10", StateTexts::IssCaption},
            {"Command2", StateTexts::ConnectCaption}, {"Label3", StateTexts::IssObject},
            {"Label4", StateTexts::IssLine},          {"Label9", StateTexts::LastStation},
            {"Label10", StateTexts::DxText},          {"Label12", StateTexts::MicELine},
            {"HostStatus", StateTexts::HostStatus},   {"NextPass", StateTexts::NextPass}};
        for (const auto &[name, text] : parts) {
            QWidget *w = d.part(name);
            d.gateway.texts().set(text, name);
            const QString title = w->property("title").toString();
            QCOMPARE(title.isEmpty() ? w->property("text").toString() : title,
                     (text == StateTexts::HostStatus ? "Zeno: "
                      : text == StateTexts::NextPass ? "Next pass: "
                                                     : "") +
                         QString(name));
        }
        // The next pass's tip: the day's passes.
        d.gateway.texts().set(StateTexts::Passes, "ISS 1\nSO-50 2");
        QCOMPARE(d.part("NextPass")->toolTip(), "Passes of the coming day:\nISS 1\nSO-50 2");
        // The pointer coming over the ISS frame or its labels shows the ISS
        // line as their tip; its leaving changes nothing.
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QHelpEvent tip(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
        const std::pair<const char *, QEvent *> ways[] = {
            {"Frame10", &enter}, {"Label4", &tip}, {"Label3", &leave}};
        for (const auto &[over, way] : ways) {
            d.gateway.texts().set(StateTexts::IssLine, over + QString::number(way->type()));
            QCoreApplication::sendEvent(d.part(over), way);
            QCOMPARE(d.part("Label4")->toolTip() == d.gateway.texts().text(StateTexts::IssLine),
                     way != &leave);
        }
    }

    // Each view shows its list; either row of a frame in the Internet list
    // shows the whole frame; the selected MHeard station is looked up on the
    // services start-up read, the call book without the SSID.
    void listsAndLookUps()
    {
        Desk d;
        QCOMPARE(d.part<QListView>("List2")->model(), &d.gateway.internetList());
        QCOMPARE(d.part<QListView>("List3")->model(), &d.gateway.igatedList());
        QCOMPARE(d.part<QListView>("List4")->model(), &d.gateway.mheardList());
        QCOMPARE(d.part<QListView>("List5")->model(), &d.gateway.positionsList());
        d.gateway.internetList().append("N0CALL-7>APRS,WIDE1-1:");
        d.gateway.internetList().append("!4903.50N/07201.75W-");
        auto *frame = d.window.findChild<QDialog *>("Form5");
        for (int row : {0, 1}) {
            emit d.part<QListView>("List2")->doubleClicked(d.gateway.internetList().index(row));
            QCOMPARE(frame->findChild<QLabel *>("Label1")->text(),
                     QStringLiteral("N0CALL-7>APRS,WIDE1-1:!4903.50N/07201.75W-"));
        }
        Opened opened;
        QDesktopServices::setUrlHandler("http", &opened, "open");
        d.gateway.mheardList().append("N0#AB-9   06-12-26 14:00:00 RS0ISS*");
        d.part<QListView>("List4")->setCurrentIndex(d.gateway.mheardList().index(0));
        QStringList captions;
        for (auto *lookUp : d.window.findChild<QMenu *>("busca_inet")->actions()) {
            captions << lookUp->text();
            lookUp->trigger();
        }
        QCOMPARE(captions, QStringList({"calls.example.org", "aprs.example.net"}));
        QCOMPARE(opened.urls, QStringList({"http://calls.example.org:8080/db/N0%23AB",
                                           "http://aprs.example.net/cgi-bin/find.cgi?N0%23AB-9"}));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
