// The Statistics window, built before start-up as in the desktop program.

#include "support/fixtures.h"
#include "ui/smallwindows.h"

#include <QtTest>
#include <QtWidgets>

using namespace kestrel;

class TestSmallWindows : public QObject
{
    Q_OBJECT

private slots:
    void statisticsFollowTheGateway()
    {
        InProcess p;
        StatisticsWindow w(p.gateway);
        p.start();
        const auto shown = [&w](const char *name) {
            return w.findChild<QLabel *>(QLatin1String(name))->text();
        };
        // Each counter a different number of times: no label shows another's.
        const char *counters[] = {"RfToInet", "InetToRf", "RfRx", "RfTx", "InetTx", "InetRx"};
        for (int c = 0; c < StateTexts::CounterCount; ++c) {
            for (int n = 0; n <= c; ++n)
                p.gateway.texts().bump(StateTexts::Counter(c));
            QCOMPARE(shown(counters[c]), QString::number(c + 1));
        }
        // Why frames did not go on, a line for each reason met.
        for (Refusal r : {Refusal::NoGate, Refusal::RateLimit, Refusal::RateLimit})
            p.gateway.refusals().add(r);
        QCOMPARE(shown("NotGated"), "Not gated (NOGATE): 1\nNot gated (rate limit): 2");

        // The ports the host was told: those of start-up, then each OK's.
        const auto ports = [&] { return shown("RfPortIGate") + ' ' + shown("IGateRfPort"); };
        p.gateway.settings().setText(Settings::RfPortIGate, "All");
        p.gateway.settings().setText(Settings::IGateRfPort, "2");
        QCOMPARE(ports(), "Port:1 Port:0");
        QVERIFY(p.gateway.confirmSettings());
        QCOMPARE(ports(), "Port:All Port:2");
    }
};

QTEST_MAIN(TestSmallWindows)
#include "tst_smallwindows.moc"
