#include "app/commandline.h"
#include "app/headlessreporter.h"
#include "app/newprogramdir.h"
#include "app/signalwatcher.h"
#include "app/stationcheck.h"
#include "core/instancelock.h"
#include "core/settingsfile.h"
#include "host/mailbox/directorystore.h"
#include "host/mailbox/store.h"
#include "station/gateway.h"
#include "ui/mainwindow.h"
#include "ui/smallwindows.h"

#include <QApplication>
#include <QFile>
#include <QHostAddress>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

using namespace kestrel;

namespace {

void printError(const QString &message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Ends the event loop with a status, also when asked before it runs.
void exitWith(int status)
{
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [status] { QCoreApplication::exit(status); });
}

// The desktop program's message boxes: never modal, so nothing else waits
// for the operator. When the program ends because something failed, it ends
// once the operator has closed the boxes that say what; a normal end, or the
// host's, does not wait for anyone.
class Notices : public QObject
{
public:
    void show(QMessageBox::Icon icon, const QString &text, QWidget *parent)
    {
        QMessageBox *box = showMessage(parent, icon, text);
        ++open_;
        connect(box, &QMessageBox::finished, this, [this] {
            if (--open_ == 0 && exitStatus_ > 0)
                exitWith(exitStatus_);
        });
    }
    void exitWhenClosed(int status)
    {
        // The first failure decides the status; a later normal end does not
        // turn it into success.
        exitStatus_ = std::max(exitStatus_, status);
        if (open_ == 0 || exitStatus_ == 0)
            exitWith(exitStatus_);
    }

private:
    int open_ = 0;
    int exitStatus_ = -1;
};

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine cl = CommandLine::parse(arguments);
    if (!cl.error.isEmpty()) {
        printError(QStringLiteral("kestrel: ") + cl.error + QLatin1Char('\n') +
                   CommandLine::usage());
        return 2;
    }
    if (cl.help) {
        std::fputs(CommandLine::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (cl.version) {
        std::printf("Kestrel %s\n", KESTREL_VERSION);
        return 0;
    }
    if (!cl.newProgramDir.isEmpty())
        return newProgramDir(cl.newProgramDir, stdout);
    if (cl.check) {
        QCoreApplication app(argc, argv);
        return checkStation(ProgramFolder(cl.programDir.isEmpty()
                                              ? QCoreApplication::applicationDirPath()
                                              : cl.programDir),
                            *mailbox::hostStore(cl.mailbox.toLocal8Bit().toStdString()), stdout);
    }

#ifndef Q_OS_WIN
    // The window needs a display; without one the toolkit would abort.
    if (!cl.headless && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        printError(QStringLiteral("kestrel: no display for the window (neither DISPLAY nor "
                                  "WAYLAND_DISPLAY is set); a station without one runs "
                                  "kestrel --headless"));
        return 2;
    }
#endif
    Clock::readSystemZoneOnce();

    std::unique_ptr<QCoreApplication> app;
    if (cl.headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Zeno Kestrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));

    const ProgramFolder folder(cl.programDir.isEmpty() ? QCoreApplication::applicationDirPath()
                                                       : cl.programDir);
    // A second gateway on the same folder ends before it touches anything.
    InstanceLock lock;
    if (lock.take(folder.path()) == InstanceLock::Outcome::HeldElsewhere) {
        const QString message =
            QStringLiteral("Kestrel already runs on the program folder %1; this one ends.")
                .arg(folder.path());
        printError(message);
        if (cl.headless)
            return 1;
        Notices notices;
        notices.show(QMessageBox::Critical, message, nullptr);
        notices.exitWhenClosed(1);
        return app->exec();
    }

    const std::unique_ptr<mailbox::Store> store =
        mailbox::hostStore(cl.mailbox.toLocal8Bit().toStdString());
    Clock clock;
    Gateway gateway(folder, *store, clock);
    if (!cl.webAddress.isEmpty())
        gateway.web().setBindAddress(QHostAddress(cl.webAddress));
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::user1, &gateway, &Gateway::issRoutine);

    std::unique_ptr<HeadlessReporter> reporter;
    std::unique_ptr<MainWindow> window;
    Notices notices;
    QString why = QStringLiteral("the host ended"); // headless: the end line's reason
    if (cl.headless) {
        reporter = std::make_unique<HeadlessReporter>(gateway, stdout);
        gateway.log().setErrorEcho(printError);
        QObject::connect(&gateway, &Gateway::failure, &gateway, printError);
        QObject::connect(&gateway, &Gateway::notice, &gateway, printError);
        QObject::connect(&gateway, &Gateway::information, &gateway, printError);
        QObject::connect(&gateway, &Gateway::fatalError, &gateway, [&why](const QString &message) {
            printError(message);
            why = message.section(u'\n', 0, 0);
            exitWith(1);
        });
        QObject::connect(&gateway, &Gateway::quitRequested, &gateway, exitWith);
        QObject::connect(&signalWatcher, &SignalWatcher::terminate, &gateway,
                         [&gateway, &why](const QString &name) {
                             why = QStringLiteral("stopped by ") + name;
                             gateway.closeMainWindow();
                         });
        gateway.setListAllPackets(cl.listAll);
    } else {
        window = std::make_unique<MainWindow>(gateway);
        MainWindow *w = window.get();
        QObject::connect(&gateway, &Gateway::failure, &gateway, [&notices, w](const QString &m) {
            printError(m);
            notices.show(QMessageBox::Warning, m, w);
        });
        QObject::connect(&gateway, &Gateway::notice, &gateway, [&notices, w](const QString &m) {
            notices.show(QMessageBox::Critical, m, w);
        });
        QObject::connect(
            &gateway, &Gateway::information, &gateway,
            [&notices, w](const QString &m) { notices.show(QMessageBox::Information, m, w); });
        QObject::connect(&gateway, &Gateway::fatalError, &gateway,
                         [&notices, w](const QString &message) {
                             printError(message);
                             notices.show(QMessageBox::Critical, message, w);
                             notices.exitWhenClosed(1);
                         });
        QObject::connect(&gateway, &Gateway::quitRequested, &gateway,
                         [&notices](int status) { notices.exitWhenClosed(status); });
        QObject::connect(&signalWatcher, &SignalWatcher::terminate, w, &QWidget::close);
        window->show();
    }

    if (cl.headless) {
        // One line to say what runs, one at the end to say why it ended: what
        // a service's journal needs. Start-up reads the settings again.
        const auto *folderStore = dynamic_cast<const mailbox::DirectoryStore *>(store.get());
        Settings s;
        QFile file(folder.resolve(QStringLiteral("\\kestrel.ini")));
        const bool readable = file.open(QIODevice::ReadOnly);
        if (readable)
            settingsfile::read(file.readAll(), s);
        std::printf("Kestrel %s starts: program folder %s, mailbox %s, APRS-IS %s\n",
                    KESTREL_VERSION, qPrintable(folder.path()),
                    folderStore ? folderStore->folder().string().c_str() : "the registry",
                    readable ? qPrintable(s.text(Settings::AprsIsHost) + u':' +
                                          s.text(Settings::AprsIsPort))
                             : "unknown (no kestrel.ini)");
        std::fflush(stdout);
    }
    if (gateway.start() == Gateway::StartOutcome::Started && cl.connect)
        gateway.connectCommand();
    const int status = app->exec();
    if (cl.headless) {
        std::printf("Kestrel ends with status %d: %s\n", status, qPrintable(why));
        std::fflush(stdout);
    }
    return status;
}
