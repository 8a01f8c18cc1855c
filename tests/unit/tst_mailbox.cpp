#include "host/hostmailbox.h"
#include "host/mailbox/directorystore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace kestrel;
using mailbox::DirectoryStore;

namespace {
const std::string kHkcu = mailbox::kCurrentUser;

// The real store, with a record of the order of writes and of what the
// transmit text held at the moment each command word was written.
class WatchedStore : public DirectoryStore
{
public:
    using DirectoryStore::DirectoryStore;
    bool set(const std::string &root, const std::string &key, const std::string &name,
             const std::string &value) override
    {
        if (name == "Command") {
            std::ifstream in(valuePath(root, "Software\\Zeno\\TXData", "String"), std::ios::binary);
            txDataAtCommand.push_back(std::string(std::istreambuf_iterator<char>(in), {}));
        }
        writes.push_back(name + "=" + value);
        return DirectoryStore::set(root, key, name, value);
    }
    std::vector<std::string> writes;
    std::vector<std::string> txDataAtCommand;
};
} // namespace

class TestMailbox : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void valuesAreExactBytes()
    {
        DirectoryStore store(dir.path().toStdString());
        const std::string bytes("\x01\xff\r\nA\\B", 7);
        QVERIFY(store.set(kHkcu, "Software\\Zeno\\RXData", "String", bytes));
        QCOMPARE(*store.get(kHkcu, "Software\\Zeno\\RXData", "String"), bytes);
        const QString file = dir.path() + "/HKEY_CURRENT_USER/Software/Zeno/RXData/String";
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(bytes.data(), 7));

        QVERIFY(store.set(kHkcu, "Software\\Zeno\\RXData", "String", ""));
        QCOMPARE(QFileInfo(file).size(), 0);
        QVERIFY(store.get(kHkcu, "Software\\Zeno\\RXData", "String").has_value());
        // No temporary file is left behind.
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void readKeepsEveryByteUpToTheLimit()
    {
        DirectoryStore store(dir.path().toStdString());
        // A frame's information may hold a NUL; the file holds the value whole.
        store.set(kHkcu, "Software\\Zeno\\RXData", "String", std::string("A\0B\r\xff", 5));
        QCOMPARE(*store.get(kHkcu, "Software\\Zeno\\RXData", "String"),
                 std::string("A\0B\r\xff", 5));

        const std::string huge(3 * DirectoryStore::kMaxValueBytes, 'x');
        store.set(kHkcu, "Software\\Zeno\\RXData", "String", huge);
        QCOMPARE(store.get(kHkcu, "Software\\Zeno\\RXData", "String")->size(),
                 DirectoryStore::kMaxValueBytes);
    }

    void missingValuesAndUnsafeNames()
    {
        DirectoryStore store((dir.path() + "/nowhere").toStdString());
        QVERIFY(!store.get(kHkcu, "Software\\Zeno\\MyCall", "String"));
        QVERIFY(!store.set(kHkcu, "Software\\Zeno", "..", "x"));
        QVERIFY(!store.set(kHkcu, "Software\\Zeno", "a/b", "x"));
        QVERIFY(!store.set("..", "Software\\Zeno", "String", "x"));
        // ".." inside a key path is skipped, not a way out.
        QCOMPARE(store.valuePath(kHkcu, "Software\\..\\..\\Zeno", "String"),
                 store.valuePath(kHkcu, "Software\\Zeno", "String"));
        // A slash is a separator like the backslash, never a way to the top.
        QCOMPARE(store.valuePath(kHkcu, "/etc\\..//passwd", "String"),
                 store.valuePath(kHkcu, "etc\\passwd", "String"));
        HostMailbox mb(store);
        QCOMPARE(mb.myCall(), QString());
        QCOMPARE(mb.hostStatus(), QString());
    }

    void onlyPlainFilesAreValues()
    {
        QTemporaryDir d;
        DirectoryStore store(d.path().toStdString());
        store.set(kHkcu, "Software\\Zeno\\Status", "String", "x");
        const std::string fifo = store.valuePath(kHkcu, "Software\\Zeno\\RXData", "String");
        std::filesystem::create_directories(std::filesystem::path(fifo).parent_path());
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        // Nothing writes to the FIFO: a read that waited would never return.
        QVERIFY(!store.get(kHkcu, "Software\\Zeno\\RXData", "String"));
        QVERIFY(!store.get(kHkcu, "Software\\Zeno", "Status"));
    }

    void defaultFolder()
    {
        QCOMPARE(DirectoryStore::defaultFolder("/given").string(), std::string("/given"));
        qputenv("ZENO_MAILBOX", "/from/env");
        QCOMPARE(DirectoryStore::defaultFolder("").string(), std::string("/from/env"));
        qunsetenv("ZENO_MAILBOX");
        QVERIFY(DirectoryStore::defaultFolder("").string().ends_with(".zeno/registry"));
    }

    void transmitTextIsStoredBeforeTheCommand()
    {
        QTemporaryDir d;
        WatchedStore store(d.path().toStdString());
        HostMailbox mb(store);
        mb.transmitText(QStringLiteral("ABCDE"));
        QCOMPARE(store.txDataAtCommand, std::vector<std::string>({"ABCDE"}));
        QCOMPARE(QFileInfo(d.path() + "/HKEY_CURRENT_USER/Software/Zeno/TXData/String").size(), 5);
        QCOMPARE(store.writes, std::vector<std::string>({"String=ABCDE", "Command=/TXDATA/"}));
    }

    void portSelection_data()
    {
        QTest::addColumn<QString>("rf");
        QTest::addColumn<QString>("tx");
        QTest::addColumn<int>("rxp");
        QTest::addColumn<int>("txp");
        QTest::newRow("All/0") << "All"
                               << "0" << 7 << 7;
        QTest::newRow("2/3") << "2"
                             << "3" << 2 << 3;
        QTest::newRow("3/0") << "3"
                             << "0" << 3 << 3;
        QTest::newRow("empty") << ""
                               << "" << 0 << 0;
        QTest::newRow("all lower case is a number") << "all"
                                                    << "1" << 0 << 1;
        QTest::newRow("half to even") << "2.5"
                                      << "3.5" << 2 << 4;
    }
    void portSelection()
    {
        QFETCH(QString, rf);
        QFETCH(QString, tx);
        QFETCH(int, rxp);
        QFETCH(int, txp);
        const auto p = HostMailbox::portSelection(rf, tx);
        QCOMPARE(p.rx, rxp);
        QCOMPARE(p.tx, txp);
    }

    void commandsAreHandedOverInOrderAndApart()
    {
        QTemporaryDir d;
        WatchedStore store(d.path().toStdString());
        HostMailbox mb(store);
        QElapsedTimer clock;
        clock.start();
        mb.selectPorts(QStringLiteral("2"), QStringLiteral("3"));
        mb.announce();
        mb.setTransmitAddressing(QStringLiteral("ARISS"));
        // The first command and the announcement go at once.
        QCOMPARE(store.writes, std::vector<std::string>({"RXP=2", "TXP=3", "Command=/CHANGEPORT/",
                                                         "Application=MyProgram"}));
        QTRY_VERIFY(mb.idle());
        QVERIFY(clock.elapsed() >= 2 * HostMailbox::kCommandGapMs);
        QCOMPARE(store.writes,
                 std::vector<std::string>({"RXP=2", "TXP=3", "Command=/CHANGEPORT/",
                                           "Application=MyProgram", "To=APKR02", "Via=ARISS",
                                           "Command=/SETTVF/", "Command=/SETTVF/"}));
    }

    void transmitTextsWaitForEachOther()
    {
        QTemporaryDir d;
        WatchedStore store(d.path().toStdString());
        HostMailbox mb(store);
        QElapsedTimer clock;
        clock.start();
        mb.transmitText(QStringLiteral("one"));
        mb.transmitText(QStringLiteral("two"));
        QCOMPARE(store.txDataAtCommand.size(), 1u);
        QTRY_VERIFY_WITH_TIMEOUT(mb.idle(), 5000);
        QVERIFY(clock.elapsed() >= HostMailbox::kTransmitGapMs);
        QCOMPARE(store.txDataAtCommand, std::vector<std::string>({"one", "two"}));

        // flush() hands over what waits without the gaps.
        mb.transmitText(QStringLiteral("three"));
        mb.transmitText(QStringLiteral("four"));
        mb.flush();
        QCOMPARE(store.txDataAtCommand.back(), std::string("four"));
    }

    void failedWritesAreReported()
    {
        QTemporaryDir d;
        // A file where the key's folder should be: nothing can be stored.
        QDir().mkpath(d.path() + "/HKEY_CURRENT_USER/Software");
        QFile blocker(d.path() + "/HKEY_CURRENT_USER/Software/Zeno");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        DirectoryStore store(d.path().toStdString());
        HostMailbox mb(store);
        QSignalSpy failed(&mb, &HostMailbox::writeFailed);
        mb.transmitText(QStringLiteral("x"));
        QCOMPARE(failed.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestMailbox)
#include "tst_mailbox.moc"
