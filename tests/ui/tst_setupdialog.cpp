// The setup dialog built, as the desktop program does, before start-up reads kestrel.ini.

#include "support/fixtures.h"
#include "ui/mainwindow.h"
#include "ui/setupdialog.h"

#include <QtTest>
#include <QtWidgets>

using namespace kestrel;
using F = Settings::Field;

struct Desk : InProcess
{
    explicit Desk(const QStringList &settings = {}) : InProcess(settings) { start(); }
    template <typename T = QWidget> T *at(const char *name) { return dialog.findChild<T *>(name); }
    void open() { window.findChild<QAction *>(QStringLiteral("DXC"))->trigger(); }
    MainWindow window{gateway};
    SetupDialog &dialog = *window.setupDialog();
};

class TestSetupDialog : public QObject
{
    Q_OBJECT

private slots:
    // Whole in the box even past the typing limit, no room for more; Cancel and OK keep the file.
    void storedValuesSurvive_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("line");
        const std::tuple<const char *, const char *, QString> rows[] = {
            {"host", "Text1", "APRS-IS Host=" + QString(50, u'h')},
            {"port", "Text2", "APRS-IS Port=1" + QString(49, u'0')},
            {"validation", "Text5", "Validation#=" + QString(50, u'2')},
            {"filter", "Text15", "APRS Filter=r/49/-72/100 " + QString(87, u'f')},
            {"answer", "Text7", "Answer Text=" + QString(50, u'a')},
            {"interval zeros", "Text12", "Interval=00006"},
            {"interval full", "Text12", "Interval=" + QString(50, u'9')},
            {"status", "Text9", "Status Text=" + QString(50, u's')},
            {"bulletin", "Text8", "Bulletin Text=" + QString(50, u'b')},
            {"web port", "Text3", "Web Server Port=" + QString(50, u'0')},
            {"comments", "Text10", "Web Comments=" + QString(50, u'c')},
            {"no expiry: nothing shown", "Combo2", "MHExpTime="},
            {"not an item: nothing shown", "Combo2", "MHExpTime=24"},
            {"rx all", "Combo1", "RF Port>IGate=All"}};
        for (const auto &[name, control, line] : rows)
            QTest::newRow(name) << QString(control) << line;
    }

    void storedValuesSurvive()
    {
        QFETCH(QString, control);
        QFETCH(QString, line);
        Desk d({line});
        QWidget *w = d.at(control.toLatin1());
        for (const char *button : {"Command2", "Command1"}) {
            d.open();
            QCOMPARE(w->metaObject()->userProperty().read(w).toString(), line.section(u'=', 1));
            QTest::keyClicks(w, "z"); // and no item starts with it
            d.at<QPushButton>(button)->click();
            QCOMPARE(d.file("kestrel.ini"), TempStation::settingsFile({line}));
        }
    }

    // The operator's edit (cut at the box's, else the file's limit) sets at once; the file on OK.
    void onlyTheOperatorWrites_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        const auto row = [](const char *name, const char *control, F field, const QString &typed,
                            const QString &kept) {
            QTest::newRow(name) << QString(control) << int(field) << typed << kept;
        };
        row("file limit", "Text16", F::ProxyAddress, QString(300, u'x'), QString(50, u'x'));
        row("box limit", "Text12", F::Interval, "12345", "6001");
        row("call upper-cased", "Text6", F::OwnCall, "\b\b\b-x", "N1IGT-X");
        row("path upper-cased", "Text11", F::UnprotoPath, ",wide2-1", "ARISS,WIDE2-1");
        row("check box", "Check9", F::InetBeacon, " ", "1");
        row("choice", "Combo2", F::MHExpTime, "3", "3");
    }

    void onlyTheOperatorWrites()
    {
        QFETCH(QString, control);
        QFETCH(int, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Desk d;
        d.open();
        QWidget *w = d.at(control.toLatin1());
        QTest::keyClicks(w, typed); // a space clicks a check box
        if (auto *box = qobject_cast<QLineEdit *>(w))
            emit box->editingFinished();
        QCOMPARE(d.gateway.settings().text(F(field)), kept);
        // Another text, the other state, another item, set by the program: only shown.
        const QMetaProperty p = w->metaObject()->userProperty();
        p.write(w, p.typeId() == QMetaType::Bool ? !p.read(w).toBool() : QVariant("12"));

        d.at<QPushButton>("Command2")->click();
        QCOMPARE(d.file("kestrel.ini"), TempStation::settingsFile({}));
        d.open();
        d.at<QPushButton>("Command1")->click();
        const Settings::Info &info = Settings::info(F(field)); // the call has no key: the host's
        const bool check = info.kind == Settings::Kind::Check;
        const QStringList lines(*info.key ? 1 : 0, info.key + QString(check ? " " : "") + kept);
        QCOMPARE(d.file("kestrel.ini"), TempStation::settingsFile(lines));
    }

    // A proxy address without its port unticks the box with a hint; a link up locks the server.
    void serverPage()
    {
        Desk d;
        QSignalSpy information(&d.gateway, &Gateway::information);
        auto *proxy = d.at<QCheckBox>("Check2");
        QTest::keyClicks(d.at("Text16"), "192.0.2.1");
        proxy->click();
        QVERIFY(!proxy->isChecked() && !d.gateway.settings().isOn(F::ProxyYesNo));
        QCOMPARE(information, QList<QVariantList>{{"Proxy format is:\rExample: 192.168.0.1:23"}});
        QTest::keyClicks(d.at("Text16"), ":8080");
        proxy->click();
        QVERIFY(proxy->isChecked());

        d.gateway.texts().set(StateTexts::ConnectionState, "CONNECTED TO: 127.0.0.1:14580");
        d.open();
        for (const bool up : {true, false}) {
            if (!up)
                d.gateway.texts().set(StateTexts::ConnectionState, "DISCONNECTED");
            for (const char *name : {"Text1", "Text2", "Text5", "Text15", "Text16", "Text6"})
                QVERIFY2(d.at(name)->isEnabled() == (!up || !qstrcmp(name, "Text6")), name);
        }
    }
};

QTEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
