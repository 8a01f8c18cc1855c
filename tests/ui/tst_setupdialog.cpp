// The setup dialog on a real (offscreen) window, driven by its controls'
// names as an operator drives them: edits in force at once, OK writing
// kestrel.ini, Cancel writing nothing, and every message box non-modal.

#include "core/settingsfile.h"
#include "host/mailbox/directorystore.h"
#include "station/gateway.h"
#include "support/tempstation.h"
#include "ui/setupdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

using namespace kestrel;
using F = Settings::Field;

class TestSetupDialog : public QObject
{
    Q_OBJECT

    // The dialog is built before start-up reads kestrel.ini, as in the
    // desktop program.
    struct Station
    {
        explicit Station(const QStringList &settings = {})
        {
            s.writeSettings(settings);
            gateway.start();
            dialog.open();
        }
        template <typename T> T *control(const char *name)
        {
            T *found = dialog.findChild<T *>(QString::fromLatin1(name));
            if (!found)
                qWarning("no control %s", name);
            return found;
        }
        QByteArray file() const { return TempStation::readFile(s.programFile("kestrel.ini")); }
        TempStation s;
        mailbox::DirectoryStore store{s.mailboxDir().toStdString()};
        Clock clock;
        Gateway gateway{ProgramFolder(s.programDir()), store, clock};
        SetupDialog dialog{gateway};
    };

    // The message boxes open now, each of which must leave the program running.
    static QStringList messages()
    {
        QStringList texts;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                if (box->isModal() || box->windowModality() != Qt::NonModal)
                    texts << "MODAL";
                texts << box->text();
                box->close();
            }
        return texts;
    }

private slots:
    void callSignList()
    {
        Station st;
        st.gateway.settings().setCheck(F::DigiAll, false);
        auto *entry = st.control<QLineEdit>("Text4");
        auto *add = st.control<QPushButton>("Command3");
        QTest::keyClicks(entry, " n0call ");
        add->click();
        QCOMPARE(st.gateway.settings().digiList(), QStringList{"N0CALL"});
        QVERIFY(entry->text().isEmpty());
        QTest::keyClicks(entry, "n0call");
        add->click();
        QCOMPARE(messages(), QStringList{"N0CALL already in the list!"});
        QCOMPARE(st.gateway.settings().digiList().size(), 1);
        QCOMPARE(entry->text(), QStringLiteral("n0call"));

        // Delete takes the selected row only.
        auto *list = st.control<QListWidget>("List1");
        st.control<QPushButton>("Command4")->click();
        QCOMPARE(list->count(), 1);
        list->setCurrentRow(0);
        st.control<QPushButton>("Command4")->click();
        QCOMPARE(list->count(), 0);

        // Gate All greys the list, the entry and both buttons.
        st.control<QCheckBox>("Check1")->click();
        for (const char *name : {"Label4", "List1", "Text4", "Command3", "Command4"})
            QVERIFY2(!st.control<QWidget>(name)->isEnabled(), name);
        st.control<QCheckBox>("Check1")->click();
        for (const char *name : {"Label4", "List1", "Text4", "Command3", "Command4"})
            QVERIFY2(st.control<QWidget>(name)->isEnabled(), name);
        st.control<QCheckBox>("Check20")->click();
        QVERIFY(!st.control<QWidget>("Check22")->isEnabled());

        // Five hundred calls: the file keeps them all, and reads back.
        for (int i = 0; i < 500; ++i) {
            entry->setText(QString("N%1AB").arg(i));
            add->click();
        }
        QCOMPARE(list->count(), 500);
        st.control<QPushButton>("Command1")->click();
        Settings back;
        QVERIFY(settingsfile::read(st.file(), back).isEmpty());
        QCOMPARE(back.digiList(), st.gateway.settings().digiList());
    }

    // What the file or the record holds is shown whole and kept, also where
    // it is longer than a box lets the operator type; Cancel and then OK
    // write the file back byte for byte.
    void fileValuesSurviveTheDialog_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("line");
        const auto row = [](const char *name, const char *control, const QString &line) {
            QTest::newRow(name) << QString::fromLatin1(control) << line;
        };
        const auto full = [](const char *start, int length) {
            return QString::fromLatin1(start).leftJustified(length, u'x');
        };
        row("host", "Text1", "APRS-IS Host=" + full("h.", 50));
        row("port", "Text2", "APRS-IS Port=" + full("1", 50));
        row("validation", "Text5", "Validation#=" + full("2", 50));
        row("filter", "Text15", "APRS Filter=" + full("r/49/-72/100 ", 100));
        row("proxy", "Text16", "Proxy Address=" + full("p:", 50));
        row("answer", "Text7", "Answer Text=" + full("a", 50));
        row("interval", "Text12", "Interval=10800");
        row("interval zeros", "Text12", "Interval=00006");
        row("interval full", "Text12", "Interval=" + QString(50, u'9'));
        row("status 48", "Text9", "Status Text=" + full("s", 48));
        row("status", "Text9", "Status Text=" + full("s", 50));
        row("bulletin", "Text8", "Bulletin Text=" + full("b", 50));
        row("path", "Text11", "UnprotoPath=" + full("WIDE1-1,", 50));
        row("web port", "Text3", "Web Server Port=" + full("0", 50));
        row("comments", "Text10", "Web Comments=" + full("c", 50));
        // An empty choice shows nothing, not an item that is not in force.
        row("no expiry", "Combo2", "MHExpTime=");
        row("no rate", "Combo4", "Packets/min=");
        row("no item", "Combo2", "MHExpTime=24");
        row("rx all", "Combo1", "RF Port>IGate=All");
    }

    void fileValuesSurviveTheDialog()
    {
        QFETCH(QString, control);
        QFETCH(QString, line);
        Station st({line});
        const QByteArray before = st.file();
        const QString value = line.mid(line.indexOf(u'=') + 1);
        QWidget *w = st.control<QWidget>(control.toLatin1());
        const auto shown = [w] {
            if (auto *box = qobject_cast<QLineEdit *>(w))
                return box->text();
            return qobject_cast<QComboBox *>(w)->currentText();
        };
        QCOMPARE(shown(), value);
        st.control<QPushButton>("Command2")->click();
        st.dialog.open();
        QCOMPARE(shown(), value);
        st.control<QPushButton>("Command1")->click();
        QCOMPARE(st.file(), before);
    }

    // The limits are on what the operator types; a longer value that came
    // from the file can be edited, not made longer.
    void typingStopsAtTheLimit_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        const auto row = [](const char *name, const char *control, const char *line,
                            const QString &typed, const QString &kept) {
            QTest::newRow(name) << QString::fromLatin1(control) << QString::fromLatin1(line)
                                << typed << kept;
        };
        row("interval", "Text12", "Interval=", "99999", "9999");
        row("host", "Text1", "APRS-IS Host=", QString(300, u'x'), QString(50, u'x'));
        row("answer", "Text7", "Answer Text=", QString(60, u'a'), QString(45, u'a'));
        row("web port", "Text3", "Web Server Port=", "http", "http");
        row("longer from file", "Text12", "Interval=10800", "1", "10800");
        row("shortened", "Text12", "Interval=10800", "\b\b", "108");
    }

    void typingStopsAtTheLimit()
    {
        QFETCH(QString, control);
        QFETCH(QString, line);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Station st({line});
        auto *box = st.control<QLineEdit>(control.toLatin1());
        box->end(false);
        QTest::keyClicks(box, typed);
        QCOMPARE(box->text(), kept);
        st.control<QPushButton>("Command1")->click();
        const QString key = line.left(line.indexOf(u'=') + 1);
        QVERIFY(st.file().contains((key + kept + "\r\n").toLatin1()));
    }

    void choosingTheShownItemSetsIt()
    {
        Station st({"MHExpTime="});
        auto *expiry = st.control<QComboBox>("Combo2");
        QCOMPARE(expiry->currentIndex(), -1);
        QTest::keyClick(expiry, Qt::Key_Down);
        QCOMPARE(st.gateway.settings().text(F::MHExpTime), QStringLiteral("2"));
    }

    void handlers()
    {
        Station st;
        // Proxy: a bare address unticks the box with the format message.
        QSignalSpy information(&st.gateway, &Gateway::information);
        auto *proxy = st.control<QCheckBox>("Check2");
        auto *proxyAddress = st.control<QLineEdit>("Text16");
        QTest::keyClicks(proxyAddress, "192.0.2.1");
        proxy->click();
        QVERIFY(!proxy->isChecked());
        QVERIFY(!st.gateway.settings().isOn(F::ProxyYesNo));
        QCOMPARE(information.size(), 1);
        QCOMPARE(information[0][0].toString(),
                 QStringLiteral("Proxy format is:\rExample: 192.168.0.1:23"));
        QTest::keyClicks(proxyAddress, ":8080");
        proxy->click();
        QVERIFY(proxy->isChecked());
        QCOMPARE(information.size(), 1);

        auto *interval = st.control<QLineEdit>("Text12");
        auto *hours = st.control<QLabel>("Label22");
        for (const auto &[typed, shown] : {std::pair{"3600", "01h00m"},
                                           {"90", "00h02m"},
                                           {"1800", "00h30m"},
                                           {"abc", "00h00m"},
                                           {"99999", "02h47m"}}) {
            interval->setText(typed);
            QCOMPARE(hours->text(), QString::fromLatin1(shown));
        }

        // Use DIGI Symbol reshapes the beacon text at once.
        st.control<QCheckBox>("Check10")->click();
        QCOMPARE(st.control<QLabel>("Label8")->text(),
                 QStringLiteral("!4903.50N/07201.75W#Test beacon"));

        // Call sign and path are upper-cased on leaving the box.
        auto *path = st.control<QLineEdit>("Text11");
        path->clear();
        QTest::keyClicks(path, "wide1-1");
        emit path->editingFinished();
        QCOMPARE(st.gateway.settings().text(F::UnprotoPath), QStringLiteral("WIDE1-1"));
        QCOMPARE(path->text(), QStringLiteral("WIDE1-1"));
    }

    void txPortOkCancelAndLock()
    {
        Station st;
        const QByteArray before = st.file();
        auto *tx = st.control<QComboBox>("Combo3");
        QTest::keyClick(tx, '3');
        QCOMPARE(st.gateway.settings().text(F::IGateRfPort), QStringLiteral("3"));
        // Leaving the box warns; the port stays.
        st.control<QTabWidget>("Tabs")->setCurrentIndex(2);
        st.dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&st.dialog));
        tx->setFocus();
        st.control<QLineEdit>("Text11")->setFocus();
        QCOMPARE(messages(),
                 QStringList{"You are Enabling IGate to RF!\r\nBe sure RF Port 3 is NOT in an "
                             "Uplink/Dwnlink Satellite Frequency!\r\nIf you want to DISABLE this "
                             "function Select Port 0"});
        QCOMPARE(st.gateway.settings().text(F::IGateRfPort), QStringLiteral("3"));
        // Cancel: in force for the run, not in the file.
        st.control<QPushButton>("Command2")->click();
        QVERIFY(!st.dialog.isVisible());
        QCOMPARE(st.file(), before);
        QCOMPARE(st.gateway.settings().text(F::IGateRfPort), QStringLiteral("3"));
        // OK writes it.
        st.dialog.open();
        st.control<QPushButton>("Command1")->click();
        QVERIFY(st.file().contains("IGate>RF Port=3\r\n"));

        // While connected the connection fields are locked.
        st.gateway.texts().set(StateTexts::ConnectionState, "CONNECTED TO: 127.0.0.1:14580");
        st.dialog.open();
        for (const char *name : {"Text1", "Text2", "Text5", "Text15", "Text16"})
            QVERIFY2(!st.control<QWidget>(name)->isEnabled(), name);
        QVERIFY(st.control<QWidget>("Text6")->isEnabled());
        // A refused login unlocks them in the open dialog.
        st.gateway.receivePath().handle("# logresp " + TempStation::kCall.toLatin1() +
                                        " unverified, server T2TEST\r\n");
        for (const char *name : {"Text1", "Text2", "Text5", "Text15", "Text16"})
            QVERIFY2(st.control<QWidget>(name)->isEnabled(), name);
    }
};

QTEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
