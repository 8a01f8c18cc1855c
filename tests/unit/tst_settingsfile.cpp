#include "core/settingsfile.h"
#include "support/tempstation.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrel;
using F = Settings::Field;

class TestSettingsFile : public QObject
{
    Q_OBJECT

    static QByteArray crlf(const QStringList &lines)
    {
        return lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
    }

private slots:
    void roundTripKeepsEveryField()
    {
        Settings a;
        a.setText(F::AprsIsHost, QStringLiteral("rotate.aprs.example"));
        a.setText(F::AprsFilter, QString(100, u'f'));
        a.setText(F::StatusText, QStringLiteral("a=b=c, 73 de N1IGT"));
        a.setText(F::RfPortIGate, QStringLiteral("All"));
        a.setText(F::AnswerText, QString());
        a.setCheck(F::ProxyYesNo, true);
        a.setCheck(F::IssObjectOnly, true);
        a.setCheck(F::GateOnlyDirect, true);
        a.setDigiList({QStringLiteral("N1ABC-7"), QStringLiteral("N2XYZ")});
        const QByteArray file = settingsfile::write(a);
        QVERIFY(file.contains("\r\nProxy YES/NO= 1\r\n"));
        QVERIFY(file.contains(
            "[IGATE]\r\nDigi List=N1ABC-7\r\nDigi List=N2XYZ\r\nGate Only Direct= 1\r\n"));
        QVERIFY(file.endsWith("ISS Object Only= 1\r\n"));

        Settings b;
        QVERIFY(settingsfile::read(file, b).isEmpty());
        for (int f = 0; f < F::OwnCall; ++f)
            QCOMPARE(b.text(F(f)), a.text(F(f)));
        QCOMPARE(b.digiList(), a.digiList());
        QCOMPARE(settingsfile::write(b), file);
    }

    void emptyListPutsGateOnlyDirectRightAfterHeader()
    {
        Settings a;
        const QByteArray file = settingsfile::write(a);
        QVERIFY(file.contains("[IGATE]\r\nGate Only Direct= 0\r\nDIGI All= 0\r\n"));
        Settings b;
        settingsfile::read(file, b);
        QVERIFY(b.digiList().isEmpty());
        QCOMPARE(b.text(F::AnswerText), QStringLiteral("Only RF to Internet Service!"));
    }

    void keysAreNotLookedAt()
    {
        QByteArray file = TempStation::settingsFile({"APRS-IS Port=10152", "MHExpTime=6"});
        file.replace("APRS-IS Port=", "Server port (TCP)=");
        file.replace("MHExpTime=", "hours=");
        file.replace("Proxy YES/NO= 0", "Relay?= 1");
        Settings s;
        QVERIFY(settingsfile::read(file, s).isEmpty());
        QCOMPARE(s.text(F::AprsIsPort), QStringLiteral("10152"));
        QCOMPARE(s.text(F::MHExpTime), QStringLiteral("6"));
        QVERIFY(s.isOn(F::ProxyYesNo));
        // A line without "=" is its own value.
        Settings t;
        file.replace("Relay?= 1", "Relay 1");
        QCOMPARE(settingsfile::read(file, t).size(), 1);
        QVERIFY(!t.isOn(F::ProxyYesNo));
    }

    void extraLineShiftsTheRestOfItsSection()
    {
        QByteArray file = TempStation::settingsFile();
        file.replace("Validation#=8340\r\n", "Validation#=8340\r\nComment=hello\r\n");
        Settings s;
        const auto problems = settingsfile::read(file, s);
        QCOMPARE(s.text(F::ValidationNumber), QStringLiteral("8340"));
        QCOMPARE(s.text(F::AprsFilter), QStringLiteral("hello"));
        QCOMPARE(s.text(F::ProxyAddress), QStringLiteral(" 0")); // the proxy check line
        // The filter landed on the proxy check and the empty proxy address on
        // AutoConnect: neither is a check value.
        QCOMPARE(problems.size(), 2);
        QCOMPARE(problems[0].field, F::ProxyYesNo);
        QCOMPARE(problems[1].field, F::AutoYesNo);
        // The next section is found all the same.
        QCOMPARE(s.text(F::Interval), QStringLiteral("600"));
    }

    static QList<settingsfile::Problem::Kind> kinds(const QList<settingsfile::Problem> &problems)
    {
        QList<settingsfile::Problem::Kind> k;
        for (const auto &p : problems)
            k << p.kind;
        return k;
    }

    void fileEndingInsideASectionKeepsTheRest()
    {
        using P = settingsfile::Problem;
        Settings s;
        s.setText(F::WebServerPort, QStringLiteral("8080"));
        const QByteArray file = crlf({"[MISCELANEOUS]", "Run Zeno= 1", "Close Zeno= 1"});
        const auto problems = settingsfile::read(file, s);
        QVERIFY(s.isOn(F::CloseZeno));
        QCOMPARE(s.text(F::WebServerPort), QStringLiteral("8080"));
        // Said, with the three sections that are not there at all.
        QCOMPARE(kinds(problems), QList<P::Kind>({P::SectionCutShort, P::SectionMissing,
                                                  P::SectionMissing, P::SectionMissing}));
        QCOMPARE(problems[0].describe(),
                 QStringLiteral("the file ends inside [MISCELANEOUS] before "
                                "Log IGated; the rest keep their values"));
        QCOMPARE(problems[1].describe(),
                 QStringLiteral("there is no [APRS-IS] line; its settings keep their defaults"));

        // A digipeater list that never meets "Gate Only Direct=" takes every
        // line to the end of the file, headers included, and says so.
        Settings t;
        const auto unended = settingsfile::read(
            crlf({"[IGATE]", "Digi List=N1ABC", "[MISCELANEOUS]", "Run Zeno= 1"}), t);
        QCOMPARE(t.digiList(), QStringList({"N1ABC", "[MISCELANEOUS]", " 1"}));
        QVERIFY(!t.isOn(F::RunZeno));
        QCOMPARE(unended[0].kind, P::DigiListUnended);
        QVERIFY(unended[0].describe().contains("the 3 lines to the end of the file"));
    }

    void headerNotFoundAsWritten()
    {
        // A header with a blank after it is no header: its section is missing.
        QByteArray file = TempStation::settingsFile({"Interval=120"});
        file.replace("[Inet TX]\r\n", "[Inet TX] \r\n");
        Settings s;
        const auto problems = settingsfile::read(file, s);
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0].kind, settingsfile::Problem::SectionMissing);
        QVERIFY(problems[0].describe().contains("[Inet TX]"));
        QCOMPARE(s.text(F::Interval), QString());
    }

    void headerReadAsAValueStillStartsItsSection()
    {
        // A short [APRS-IS] section swallows the next header as a value; the
        // same turn of the reader then starts that section.
        const QByteArray file =
            crlf({"[APRS-IS]", "h", "p", "v", "f", " 0", "proxy", "[Inet TX]", " 1", " 0", "120"});
        Settings s;
        const auto problems = settingsfile::read(file, s);
        QCOMPARE(problems[0].kind,
                 settingsfile::Problem::NotACheckValue); // "[Inet TX]" as AutoConnect
        QCOMPARE(problems[0].field, F::AutoYesNo);
        QCOMPARE(problems[1].kind, settingsfile::Problem::SectionCutShort);
        QVERIFY(s.isOn(F::InetBeacon));
        QCOMPARE(s.text(F::Interval), QStringLiteral("120"));
    }

    void repeatedSectionIsReadTwiceAndAddsRows()
    {
        const QByteArray igate = "[IGATE]\r\nDigi List=N1ABC\r\nGate Only Direct= 0\r\n" +
                                 QByteArray("x\r\n").repeated(11);
        Settings s;
        settingsfile::read(igate + igate, s);
        QCOMPARE(s.digiList(), QStringList({"N1ABC", "N1ABC"}));
    }

    void checkValuesOtherThanZeroOrOne()
    {
        QByteArray file = TempStation::settingsFile({"Auto YES/NO= 2", "Dish Symbol=yes",
                                                     "Add DX=", "Log IGated=   1  ", "Log Msgs=1.0",
                                                     "Log APRS IS=0.6"});
        Settings s;
        s.setCheck(F::AutoYesNo, true);
        const auto problems = settingsfile::read(file, s);
        QCOMPARE(problems.size(), 4);
        QCOMPARE(problems[0].field, F::AutoYesNo);
        QCOMPARE(problems[0].lineNumber, 11);
        QCOMPARE(
            problems[0].describe(),
            QStringLiteral("Auto YES/NO on line 11 is not 0 or 1 (\"Auto YES/NO= 2\"); read as 0"));
        QCOMPARE(problems[1].field, F::DishSymbol);
        QCOMPARE(problems[2].field, F::AddDx);
        QCOMPARE(problems[3].field, F::LogAprsIs);
        QVERIFY(!s.isOn(F::AutoYesNo));
        QVERIFY(!s.isOn(F::LogAprsIs));
        QVERIFY(s.isOn(F::LogIGated));
        QVERIFY(s.isOn(F::LogMsgs));
        // Reading carried on past them.
        QCOMPARE(s.text(F::WebServerPort), QStringLiteral("8080"));
    }

    void longValuesAreCut()
    {
        const QByteArray file = TempStation::settingsFile({"APRS Filter=" + QString(150, u'x'),
                                                           "Status Text=" + QString(10000, u's'),
                                                           "UnprotoPath=" + QString(60, u'p')});
        Settings s;
        settingsfile::read(file, s);
        QCOMPARE(s.text(F::AprsFilter).size(), 100);
        QCOMPARE(s.text(F::StatusText).size(), 50);
        QCOMPARE(s.text(F::UnprotoPath).size(), 50);
    }

    void lineEndsAndBytes()
    {
        QByteArray file =
            TempStation::settingsFile({QString::fromLatin1("Status Text=\xe4\xf6\x01\xff ok")});
        Settings crlfRead;
        settingsfile::read(file, crlfRead);
        QCOMPARE(crlfRead.text(F::StatusText), QString::fromLatin1("\xe4\xf6\x01\xff ok"));

        for (const char *end : {"\r", "\n"}) {
            QByteArray other = file;
            other.replace("\r\n", end);
            Settings s;
            QVERIFY(settingsfile::read(other, s).isEmpty());
            for (int f = 0; f < F::OwnCall; ++f)
                QCOMPARE(s.text(F(f)), crlfRead.text(F(f)));
        }
        // Bytes survive a write.
        QVERIFY(settingsfile::write(crlfRead).contains("Status Text=\xe4\xf6\x01\xff ok\r\n"));
    }

    void changeSignalPerField()
    {
        Settings s;
        QSignalSpy spy(&s, &Settings::changed);
        s.setText(F::Interval, QStringLiteral("600"));
        s.setText(F::Interval, QStringLiteral("600"));
        s.setCheck(F::IssObject, true);
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy[0][0].value<F>(), F::Interval);
        QCOMPARE(spy[1][0].value<F>(), F::IssObject);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
