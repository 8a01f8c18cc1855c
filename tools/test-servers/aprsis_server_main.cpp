// A loopback APRS-IS server for the demo station and for trying Kestrel by
// hand. It prints every line it receives, and can feed a file of APRS-IS
// lines to the logged-in client, one every few seconds.
//
//   aprsis-test-server [--port N] [--keepalive MS] [--feed FILE] [--every MS]
//                      [--count M [--rate N]]
//
// With --count, once the client has logged in the server pushes M made-up
// packet lines at N lines a second (--rate 0, the default: as fast as the
// client reads them), then prints "aprsis-test-server: sent M lines in S s"
// once the last of them is out of its hands.

#include "test-servers/aprsistestserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

// Packet number i as a server would pass it on: made-up stations ("QB" or
// "QC", a digit, three letters; Q prefixes are given to no one), positions
// mostly, some with a time, some status texts and messages; 80 to 100 bytes.
QByteArray packetLine(qint64 i)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const auto call = [](qint64 n) {
        QByteArray c = n % 2 ? "QC" : "QB";
        c += char('0' + n % 10);
        c += letters[n / 10 % 26];
        c += letters[n / 260 % 26];
        c += letters[n / 7 % 26];
        if (n % 4)
            c += '-' + QByteArray::number(n % 15 + 1);
        return c;
    };
    const qint64 station = i * 7919 % 5000;
    QByteArray line = call(station);
    line += i % 3 ? ">APRS,TCPIP*,qAC,TEST0:" : ">APDR16,WIDE1-1,qAR,QB9GWY-10:";
    const int lat = int(station % 9000), lon = int(station * 37 % 18000);
    char position[32];
    std::snprintf(position, sizeof position, "%02d%02d.%02dN/%03d%02d.%02dW", lat / 100 % 90,
                  lat % 60, int(i % 100), lon / 100 % 180, lon % 60, int(i * 3 % 100));
    QByteArray tail = ' ' + QByteArray::number(i);
    switch (i % 10) {
    case 6:
    case 7: {
        char time[16];
        std::snprintf(time, sizeof time, "@%02d%02d%02dz", int(i % 28 + 1), int(i / 60 % 24),
                      int(i % 60));
        line += time + QByteArray(position) + '>';
        break;
    }
    case 8:
        line += '>';
        break;
    case 9:
        line += ':' + call(station + 1).leftJustified(9, ' ') + ':';
        tail = '{' + QByteArray::number(i % 1000);
        break;
    default:
        line += '!' + QByteArray(position) + '-';
    }
    // The text fills the packet to its length, 80 to 100 bytes.
    static const QByteArray text =
        "Kestrel bench, on the air with a handheld and a long antenna, 73 all";
    const qsizetype length = 80 + i % 21;
    line += text.left(std::max<qsizetype>(0, length - line.size() - tail.size()));
    return line + tail;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A loopback APRS-IS server: prints every line it receives, feeds a file of lines "
        "or made-up packets to the logged-in client.\n"
        "It answers a login \"user CALL pass N ...\" with \"# logresp CALL verified\" when N "
        "is the standard APRS-IS passcode of CALL (the call without its SSID, upper case), "
        "with \"unverified\" otherwise; a line that is no login gets \"# Invalid login "
        "command\", and a second such line closes the link. Several clients may be connected at "
        "once; the feed and the packets go to each one logged in.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"port", "Port to listen on (loopback; 0: any free one).", "N", "14580"},
        {"keepalive", "Milliseconds between the server's comment lines.", "MS", "20000"},
        {"feed", "File of APRS-IS lines pushed in turn to the client.", "FILE"},
        {"every", "Milliseconds between two lines of the feed.", "MS", "5000"},
        {"count", "Made-up packet lines pushed once the client has logged in.", "M", "0"},
        {"rate", "Lines a second for --count (0: as fast as the client reads).", "N", "0"},
    });
    parser.process(app);
    const auto option = [&parser](const char *name) {
        return parser.value(QString::fromLatin1(name));
    };
    AprsIsTestServer server;
    server.setSeveralClients(true);
    server.setKeepaliveMs(option("keepalive").toInt());
    if (!server.listen(static_cast<quint16>(option("port").toUInt()))) {
        std::fprintf(stderr, "aprsis-test-server: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("aprsis-test-server: listening on 127.0.0.1:%u\n", server.port());
    std::fflush(stdout);
    QObject::connect(&server, &AprsIsTestServer::lineReceived, [](const QByteArray &line) {
        std::printf("[aprs-is] < %s\n", line.constData());
        std::fflush(stdout);
    });

    QList<QByteArray> feed;
    if (const QString file = option("feed"); !file.isEmpty()) {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &line : f.readAll().split('\n'))
                if (!line.trimmed().isEmpty())
                    feed << line.trimmed();
    }
    QTimer feeder;
    qsizetype next = 0;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (feed.isEmpty() || !server.loggedIn())
            return;
        server.pushLines({feed[next]});
        std::printf("[aprs-is] > %s\n", feed[next].constData());
        std::fflush(stdout);
        next = (next + 1) % feed.size();
    });
    feeder.start(option("every").toInt());

    // --- Bulk traffic (--count, --rate) ---------------------------------------
    const qint64 count = option("count").toLongLong();
    const qint64 rate = option("rate").toLongLong();
    if (count <= 0)
        return app.exec();

    // The server keeps its client socket to itself. A socket gets a child
    // (its socket engine) as it takes over an accepted connection, so the
    // newest such socket is the current client; it tells what is unsent.
    struct SocketCatcher : QObject
    {
        QPointer<QTcpSocket> socket;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::ChildAdded)
                if (auto *s = qobject_cast<QTcpSocket *>(watched))
                    socket = s;
            return false;
        }
    } catcher;
    app.installEventFilter(&catcher);

    constexpr qint64 kBatchBytes = 256 * 1024; // one write at full speed
    qint64 sent = 0;
    bool reported = false;
    QElapsedTimer clock;
    QTimer pacer;
    const auto pushMore = [&] {
        if (reported || !server.loggedIn() || !catcher.socket)
            return;
        if (!clock.isValid())
            clock.start();
        if (sent == count) {
            if (catcher.socket->bytesToWrite() == 0) {
                reported = true;
                pacer.stop();
                std::printf("aprsis-test-server: sent %lld lines in %.3f s\n", count,
                            double(clock.nsecsElapsed()) / 1e9);
                std::fflush(stdout);
            }
            return;
        }
        // At a rate: the lines due by now, in one write. At full speed: a
        // large write each time the socket has written most of the last one.
        qint64 due;
        if (rate > 0)
            due = std::min(count, rate * clock.elapsed() / 1000 + 1) - sent;
        else
            due = catcher.socket->bytesToWrite() < kBatchBytes / 4 ? count - sent : 0;
        QByteArray bytes;
        while (due-- > 0 && (rate > 0 || bytes.size() < kBatchBytes))
            bytes += packetLine(sent++) + "\r\n";
        if (!bytes.isEmpty())
            server.push(bytes);
    };
    // A tick every 20 ms; at full speed also each time the socket has written.
    QPointer<QTcpSocket> hooked;
    QObject::connect(&pacer, &QTimer::timeout, [&] {
        if (rate == 0 && catcher.socket && hooked != catcher.socket) {
            hooked = catcher.socket;
            QObject::connect(hooked, &QTcpSocket::bytesWritten, &pacer, pushMore);
        }
        pushMore();
    });
    pacer.start(20);
    return app.exec();
}
