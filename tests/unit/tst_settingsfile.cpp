#include "core/settingsfile.h"
#include "support/tempstation.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrel;
using F = Settings::Field;

// The dialog's file, lines replaced by key, then texts replaced.
static QByteArray station(const QStringList &lines, const QList<QByteArrayList> &edits = {})
{
    QByteArray file = TempStation::settingsFile(lines);
    for (const QByteArrayList &e : edits)
        file.replace(e[0], e[1]);
    return file;
}

static QString notACheck(const char *key, int line, const char *text)
{
    return QStringLiteral("%1 on line %2 is not 0 or 1 (\"%3\"); read as 0")
        .arg(QLatin1String(key), QString::number(line), QLatin1String(text));
}

static QString shifted(int line, const char *key, const char *text)
{
    return QStringLiteral("line %1 is read as %2 but reads \"%3\" (lines are taken by their place)")
        .arg(QString::number(line), QLatin1String(key), QLatin1String(text));
}

class TestSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    // Read by position. Rows: a file, its problems, runs of lines ("|" between) written back.
    void readAndWrittenBack_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("problems");
        QTest::addColumn<QString>("written");
        const QByteArray latin1 = station({QString::fromLatin1("Status Text=\xe4\xf6\x01\xff ok")});
        QTest::newRow("every byte and line end; the same file back")
            << QByteArray(latin1).replace(" 0\r\n", " 0\r").replace("]\r\n", "]\n") << QStringList()
            << QString::fromLatin1(latin1).remove(u'\r').chopped(1);
        QTest::newRow("keys are not looked at, nor is a value without =, a long value cut")
            << station({"Status Text=a=b=c" + QString(10000, u's')},
                       {{"APRS-IS Port=14580", "Port (TCP)=10152"},
                        {"Proxy YES/NO= 0", "Relay?= 1"},
                        {"Auto YES/NO= 0", "Auto 1"}})
            << QStringList{shifted(6, "APRS-IS Port", "Port (TCP)=10152"),
                           shifted(9, "Proxy YES/NO", "Relay?= 1"),
                           shifted(11, "Auto YES/NO", "Auto 1"),
                           notACheck("Auto YES/NO", 11, "Auto 1")}
            << "APRS-IS Port=10152|Proxy YES/NO= 1|Auto YES/NO= 0|Status Text=a=b=c" +
                   QString(45, u's');
        QTest::newRow("an extra line shifts the rest of its section")
            << station({}, {{"Validation#=8340\r\n", "Validation#=8340\r\nComment=hello\r\n"}})
            << QStringList{shifted(8, "APRS Filter", "Comment=hello"),
                           shifted(9, "Proxy YES/NO", "APRS Filter=r/49/-72/100"),
                           notACheck("Proxy YES/NO", 9, "APRS Filter=r/49/-72/100"),
                           shifted(10, "Proxy Address", "Proxy YES/NO= 0"),
                           shifted(11, "Auto YES/NO", "Proxy Address="),
                           notACheck("Auto YES/NO", 11, "Proxy Address=")}
            << "Validation#=8340\nAPRS Filter=hello|Proxy YES/NO= 0\nProxy Address= 0|Interval=600";
        QTest::newRow("a header read as a value still starts its section")
            << station({"Interval=120"}, {{"Auto YES/NO= 0\r\n\r\n", ""}})
            << QStringList{shifted(11, "Auto YES/NO", "[Inet TX]"),
                           notACheck("Auto YES/NO", 11, "[Inet TX]")}
            << "Interval=120";
        // Values a field cannot use are said, and read as they stand.
        QTest::newRow("values out of range")
            << station({"APRS-IS Port=0", "Interval=ten", "MHExpTime=5", "Web Server Port=80000"})
            << QStringList{"APRS-IS Port on line 6 is \"0\", not a port from 1 to 65535",
                           "Interval on line 16 is \"ten\", not whole seconds",
                           "MHExpTime on line 29 is \"5\", not 2, 3, 6 or 12",
                           "Web Server Port on line 47 is \"80000\", not a port from 1 to 65535"}
            << "APRS-IS Port=0|Interval=ten|MHExpTime=5";
        QTest::newRow("the file ends inside a section")
            << latin1.left(latin1.indexOf("Log IGated"))
            << QStringList{"the file ends inside [MISCELANEOUS] before Log IGated; the rest keep "
                           "their values"}
            << "Close Zeno= 0\nLog IGated= 1|Web Server Port=81";
        // A digipeater list that never meets "Gate Only Direct=" takes every
        // line to the end, headers included; a header with a blank after it is none.
        QTest::newRow("sections missing")
            << station({"Run Zeno= 1", "Answer Text=x"},
                       {{"Gate Only Direct= 0", "Digi List=N1ABC"}, {"[Inet TX]", "[Inet TX] "}})
            << QStringList{"there is no \"Gate Only Direct=\" line after [IGATE]: the 27 lines to "
                           "the end of the file were taken as call signs",
                           "there is no [Inet TX] line; its settings keep their defaults",
                           "there is no [MISCELANEOUS] line; its settings keep their defaults"}
            << "Digi List=N1ABC\nDigi List= 1|Digi List=[MISCELANEOUS]\nDigi List= 1|"
               "DIGI All= 0|Run Zeno= 0|Answer Text=Only RF to Internet Service!";
        const QByteArray once = station({}, {{"[IGATE]\r\n", "[IGATE]\r\nDigi List=N1ABC\r\n"}});
        QTest::newRow("a section twice adds rows")
            << once + once.mid(once.indexOf("[IGATE]")).replace("DIGI All= 1", "DIGI All= 0")
            << QStringList()
            << "[IGATE]\nDigi List=N1ABC\nDigi List=N1ABC\nGate Only Direct= 0\nDIGI All= 0";
        // A check value is a whole number written any way; anything else reads as 0.
        QTest::newRow("check values")
            << station({"Run Zeno=   1  ", "Close Zeno=1.0", "Log IGated=yes", "Log APRS IS=0.6"})
            << QStringList{notACheck("Log IGated", 41, "Log IGated=yes"),
                           notACheck("Log APRS IS", 42, "Log APRS IS=0.6")}
            << "Run Zeno= 1|Close Zeno= 1|Log IGated= 0|Log APRS IS= 0";
    }
    void readAndWrittenBack()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, written);
        // Fields the file does not reach keep their values.
        Settings s;
        s.setText(F::WebServerPort, QStringLiteral("81"));
        for (F check : {F::AutoYesNo, F::LogIGated, F::LogAprsIs})
            s.setCheck(check, true);
        QStringList problems;
        for (const auto &p : settingsfile::read(file, s))
            problems << p.describe();
        QTEST(problems, "problems");
        const QByteArray raw = settingsfile::write(s);
        QCOMPARE(raw.count("\r\n"), raw.count('\n'));
        const QString out = '\n' + QString::fromLatin1(raw).remove(u'\r');
        for (const QString &lines : written.split(u'|'))
            QVERIFY2(out.contains('\n' + lines + '\n'), qPrintable(lines));
    }

    // A longer text is cut at its file limit: 100 for the filter, 50 for the rest.
    void textsCutAtTheirLimits()
    {
        const auto isText = [](int f) { return Settings::info(F(f)).kind == Settings::Kind::Text; };
        QStringList lines;
        for (int f = 0; f < Settings::FieldCount; ++f)
            if (isText(f))
                lines << QLatin1String(Settings::info(F(f)).key) + QString(120, u'7');
        Settings s;
        settingsfile::read(TempStation::settingsFile(lines), s);
        for (int f = 0; f < Settings::FieldCount; ++f)
            if (isText(f))
                QCOMPARE(s.text(F(f)).size(), f == F::AprsFilter ? 100 : 50);
    }

    void changeSignalPerField()
    {
        Settings s;
        QSignalSpy spy(&s, &Settings::changed);
        for (F f : {F::Interval, F::Interval, F::IssObject})
            s.setText(f, QStringLiteral("1"));
        QCOMPARE(spy, QList<QVariantList>({{QVariant::fromValue(F::Interval)},
                                           {QVariant::fromValue(F::IssObject)}}));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
