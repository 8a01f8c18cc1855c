// The loopback look-up service on its own, for the demo station: serves one
// page for every request.

#include "test-servers/httptestserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A loopback HTTP server answering every request with one page.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({"port", "Port to listen on (loopback).", "port", "8081"});
    parser.addOption({"page", "File served as the page.", "file"});
    parser.addOption({"delay", "Milliseconds before each answer.", "ms", "0"});
    parser.process(app);

    HttpTestServer server;
    if (parser.isSet("page")) {
        QFile file(parser.value("page"));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
            return 2;
        }
        server.body = file.readAll();
    }
    server.delayMs = parser.value("delay").toInt();
    if (!server.listen(static_cast<quint16>(parser.value("port").toUInt()))) {
        std::fprintf(stderr, "cannot listen on port %s\n", qPrintable(parser.value("port")));
        return 2;
    }
    return app.exec();
}
