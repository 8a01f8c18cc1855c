// The setup dialog on a real (offscreen) window, driven by its controls'
// names as an operator drives them: edits in force at once, OK writing
// kestrel.ini, Cancel writing nothing, and every message box non-modal.

#include "core/gateway.h"
#include "core/mailbox/directorystore.h"
#include "core/settingsfile.h"
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

    struct Station
    {
        Station()
        {
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
        st.gateway.settings.setCheck(F::DigiAll, false);
        auto *entry = st.control<QLineEdit>("Text4");
        auto *add = st.control<QPushButton>("Command3");
        QTest::keyClicks(entry, " n0call ");
        add->click();
        QCOMPARE(st.gateway.settings.digiList(), QStringList{"N0CALL"});
        QVERIFY(entry->text().isEmpty());
        QTest::keyClicks(entry, "n0call");
        add->click();
        QCOMPARE(messages(), QStringList{"N0CALL already in the list!"});
        QCOMPARE(st.gateway.settings.digiList().size(), 1);
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
        QCOMPARE(back.digiList(), st.gateway.settings.digiList());
    }

    void handlers()
    {
        Station st;
        // Proxy: a bare address unticks the box with the format message.
        // (the window shows the gateway's notices, as for a rejected login)
        QSignalSpy notices(&st.gateway, &Gateway::notice);
        auto *proxy = st.control<QCheckBox>("Check2");
        st.control<QLineEdit>("Text16")->setText("192.0.2.1");
        proxy->click();
        QVERIFY(!proxy->isChecked());
        QVERIFY(!st.gateway.settings.isOn(F::ProxyYesNo));
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices[0][0].toString(),
                 QStringLiteral("Proxy format is:\rExample: 192.168.0.1:23"));
        st.control<QLineEdit>("Text16")->setText("192.0.2.1:8080");
        proxy->click();
        QVERIFY(proxy->isChecked());
        QCOMPARE(notices.size(), 1);

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
        QCOMPARE(interval->text(), QStringLiteral("9999")); // four characters at most

        // Use DIGI Symbol reshapes the beacon text at once.
        st.control<QCheckBox>("Check10")->click();
        QCOMPARE(st.control<QLabel>("Label8")->text(),
                 QStringLiteral("!4903.50N/07201.75W#Test beacon"));

        // Call sign and path are upper-cased on leaving the box.
        auto *path = st.control<QLineEdit>("Text11");
        path->setText("wide1-1");
        emit path->editingFinished();
        QCOMPARE(st.gateway.settings.text(F::UnprotoPath), QStringLiteral("WIDE1-1"));

        // Pasted text beyond what the file keeps is cut where the box ends.
        st.control<QLineEdit>("Text1")->setText(QString(300, 'x') + "\r\nrotate.aprs.net");
        QCOMPARE(st.gateway.settings.text(F::AprsIsHost).size(), 50);
        st.control<QLineEdit>("Text3")->setText("http");
        QCOMPARE(st.gateway.settings.text(F::WebServerPort), QStringLiteral("http"));
    }

    void txPortOkCancelAndLock()
    {
        Station st;
        const QByteArray before = st.file();
        auto *tx = st.control<QComboBox>("Combo3");
        tx->setCurrentText("3");
        QCOMPARE(st.gateway.settings.text(F::IGateRfPort), QStringLiteral("3"));
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
        QCOMPARE(st.gateway.settings.text(F::IGateRfPort), QStringLiteral("3"));
        // Cancel: in force for the run, not in the file.
        st.control<QPushButton>("Command2")->click();
        QVERIFY(!st.dialog.isVisible());
        QCOMPARE(st.file(), before);
        QCOMPARE(st.gateway.settings.text(F::IGateRfPort), QStringLiteral("3"));
        // OK writes it.
        st.dialog.open();
        st.control<QPushButton>("Command1")->click();
        QVERIFY(st.file().contains("IGate>RF Port=3\r\n"));

        // While connected the connection fields are locked.
        st.gateway.texts.set(StateTexts::ConnectionState, "CONNECTED TO: 127.0.0.1:14580");
        st.dialog.open();
        for (const char *name : {"Text1", "Text2", "Text5", "Text15", "Text16"})
            QVERIFY2(!st.control<QWidget>(name)->isEnabled(), name);
        QVERIFY(st.control<QWidget>("Text6")->isEnabled());
        st.gateway.texts.set(StateTexts::ConnectionState, "DISCONNECTED");
        st.dialog.open();
        QVERIFY(st.control<QWidget>("Text1")->isEnabled());
    }
};

QTEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
