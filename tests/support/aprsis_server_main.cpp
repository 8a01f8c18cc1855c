// A loopback APRS-IS server for the demo station and for trying Kestrel by
// hand. It prints every line it receives, and can feed a file of APRS-IS
// lines to the logged-in client, one every few seconds.
//
//   aprsis-test-server [--port N] [--keepalive MS] [--feed FILE] [--every MS]

#include "support/aprsistestserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&args](const char *name, const QString &otherwise) {
        const qsizetype at = args.indexOf(QString::fromLatin1(name));
        return at > 0 && at + 1 < args.size() ? args[at + 1] : otherwise;
    };
    AprsIsTestServer server;
    server.setKeepaliveMs(option("--keepalive", "20000").toInt());
    if (!server.listen(static_cast<quint16>(option("--port", "14580").toUInt()))) {
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
    if (const QString file = option("--feed", {}); !file.isEmpty()) {
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
    feeder.start(option("--every", "5000").toInt());
    return app.exec();
}
