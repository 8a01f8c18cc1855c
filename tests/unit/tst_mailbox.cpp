#include "host/hostmailbox.h"
#include "host/mailbox/directorystore.h"
#include "support/tempstation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>

using namespace kestrel;
using mailbox::DirectoryStore;

namespace {
const std::string kHkcu = mailbox::kCurrentUser;
const std::string kRx = "Software\\Zeno\\RXData";

// The real store, with a record of the writes in order.
struct WatchedStore : DirectoryStore
{
    using DirectoryStore::DirectoryStore;
    bool set(const std::string &root, const std::string &key, const std::string &name,
             const std::string &value) override
    {
        writes.push_back(name + "=" + value);
        times.push_back(clock.elapsed());
        return DirectoryStore::set(root, key, name, value);
    }
    std::vector<std::string> writes;
    std::vector<qint64> times; // of each write, in ms
    QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
};
} // namespace

class TestMailbox : public QObject
{
    Q_OBJECT
private slots:
    void storeValues()
    {
        TempStation s;
        DirectoryStore store(s.mailboxDir().toStdString());
        // Files of exact bytes (any, none, more than is read); no temporary file left.
        for (const QByteArray &value : {QByteArray("\x01\xff\r\nA\\B\0C", 9), QByteArray(),
                                        QByteArray(3 * DirectoryStore::kMaxValueBytes, 'x')}) {
            QVERIFY(store.set(kHkcu, kRx, "String", value.toStdString()));
            QCOMPARE(store.get(kHkcu, kRx, "String").value_or("none"),
                     value.left(DirectoryStore::kMaxValueBytes).toStdString());
            QCOMPARE(s.mailboxValue("RXData", "String"), value);
            QCOMPARE(QDir(s.mailboxPath("RXData", "")).entryList(QDir::Files | QDir::Hidden).size(),
                     1);
        }
        QVERIFY(!store.set(kHkcu, "Software\\Zeno", "..", "x"));
        QVERIFY(!store.set(kHkcu, "Software\\Zeno", "a/b", "x"));
        QVERIFY(!store.set("..", "Software\\Zeno", "String", "x"));
        // Key parts "..", "" and "/" are no ways out of the store.
        QCOMPARE(store.valuePath(kHkcu, "/Software\\..\\..//Zeno", "String"),
                 store.valuePath(kHkcu, "Software\\Zeno", "String"));
        // Only a plain file is a value: reading a FIFO would never return.
        QCOMPARE(::mkfifo(store.valuePath(kHkcu, kRx, "Fifo").c_str(), 0600), 0);
        QVERIFY(!store.get(kHkcu, kRx, "Fifo"));
        // A file where the folders should be: nothing can be stored, and the
        // mailbox says so for the text and for its command word.
        DirectoryStore blocked(s.mailboxPath("RXData", "String").toStdString());
        HostMailbox mb(blocked);
        QSignalSpy failed(&mb, &HostMailbox::writeFailed);
        mb.transmitText(QStringLiteral("x"));
        QCOMPARE(failed.size(), 2);
    }

    void defaultFolder()
    {
        qputenv("ZENO_MAILBOX", "/from/env");
        QCOMPARE(DirectoryStore::defaultFolder("").string(), std::string("/from/env"));
        qunsetenv("ZENO_MAILBOX");
        QVERIFY(DirectoryStore::defaultFolder("").string().ends_with(".zeno/registry"));
    }

    void portSelection_data()
    {
        // RF Port>IGate|IGate>RF Port|rx|tx: "All" is every port (7), tx 0 is rx.
        QTest::addColumn<QString>("row");
        for (const char *row :
             {"All|0|7|7", "2|3|2|3", "3|0|3|3", "||0|0", "all|1|0|1", "2.5|3.5|2|4"})
            QTest::newRow(row) << QString::fromLatin1(row);
    }
    void portSelection()
    {
        QFETCH(QString, row);
        const QStringList f = row.split(u'|');
        const auto p = HostMailbox::portSelection(f[0], f[1]);
        QCOMPARE(QStringLiteral("%1|%2").arg(p.rx).arg(p.tx), f[2] + u'|' + f[3]);
    }

    void commandsAreHandedOverInOrderAndApart()
    {
        TempStation s;
        WatchedStore store(s.mailboxDir().toStdString());
        HostMailbox mb(store);
        mb.selectPorts(QStringLiteral("2"), QStringLiteral("3"));
        mb.announce();
        mb.setTransmitAddressing(QStringLiteral("ARISS"));
        mb.transmitText(QStringLiteral("one"));
        mb.transmitText(QStringLiteral("two"));
        // The first command and the announcement go at once; then a command
        // at a time, transmit texts two seconds apart; values before their word.
        QCOMPARE(store.writes.size(), 4u);
        QTRY_VERIFY_WITH_TIMEOUT(mb.idle(), 10000);
        QCOMPARE(store.writes,
                 std::vector<std::string>({"RXP=2", "TXP=3", "Command=/CHANGEPORT/",
                                           "Application=MyProgram", "To=APKR02", "Via=ARISS",
                                           "Command=/SETTVF/", "Command=/SETTVF/", "String=one",
                                           "Command=/TXDATA/", "String=two", "Command=/TXDATA/"}));
        const auto gap = [&store](int from, int to) { return store.times[to] - store.times[from]; };
        QVERIFY(gap(2, 6) >= HostMailbox::kCommandGapMs && gap(6, 7) >= HostMailbox::kCommandGapMs);
        // A transmission waits two seconds after the one before, not after other commands.
        QVERIFY(gap(7, 9) >= HostMailbox::kCommandGapMs && gap(7, 9) < HostMailbox::kTransmitGapMs);
        QVERIFY(gap(9, 11) >= HostMailbox::kTransmitGapMs);
        // flush() hands over what waits without the gaps.
        mb.transmitText(QStringLiteral("three"));
        mb.transmitText(QStringLiteral("four"));
        mb.flush();
        QCOMPARE(store.writes.size(), 16u);
        QCOMPARE(store.writes[14], "String=four");
    }
};

QTEST_GUILESS_MAIN(TestMailbox)
#include "tst_mailbox.moc"
