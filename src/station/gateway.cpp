#include "station/gateway.h"

#include "core/files.h"
#include "core/settingsfile.h"
#include "core/text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <exception>
#include <vector>

namespace kestrel {

namespace {

// A monitor text holds one AX.25 frame: a header of calls and details and at
// most 256 bytes of information. Anything much longer is not a frame.
constexpr qsizetype kMaxMonitorText = 2048;

const QString kTerminated = QStringLiteral("zeno terminated!");

} // namespace

const std::vector<Gateway::TimerPlan> &Gateway::timerPlans()
{
    static const std::vector<TimerPlan> plans = {
        {"Timer1", &Gateway::Timer1, 30000, true, true, &Gateway::timer1Tick},
        {"Timer2", &Gateway::Timer2, 1000, false, false, &Gateway::timer2Tick},
        {"Timer4", &Gateway::Timer4, 2000, true, false, &Gateway::timer4Tick},
        {"Timer5", &Gateway::Timer5, 2000, true, false, &Gateway::timer5Tick},
        {"Timer6", &Gateway::Timer6, 1000, false, true, &Gateway::timer6Tick},
        {"Timer7", &Gateway::Timer7, 2000, false, true, &Gateway::timer7Tick},
        {"Timer8", &Gateway::Timer8, 10000, true, false, &Gateway::timer8Tick},
        {"Timer9", &Gateway::Timer9, 5000, true, false, &Gateway::timer9Tick},
        {"Timer10", &Gateway::Timer10, 750, true, true, &Gateway::timer10Tick},
        {"Timer12", &Gateway::Timer12, 150, true, false, &Gateway::timer12Tick},
        {"Timer14", &Gateway::Timer14, 60000, false, false, &Gateway::timer14Tick},
        {"Timer15", &Gateway::Timer15, 250, false, false, &Gateway::timer15Tick},
        {"Timer16", &Gateway::Timer16, 1000, false, true, &Gateway::timer16Tick},
    };
    return plans;
}

Gateway::Gateway(const ProgramFolder &folder, mailbox::Store &store, Clock &clock, QObject *parent)
    : QObject(parent), folder_(folder), clock_(clock), mailbox_(store)
{
    for (const TimerPlan &plan : timerPlans()) {
        QTimer &timer = this->*(plan.timer);
        timer.setObjectName(QLatin1String(plan.name));
        timer.setInterval(plan.interval);
        timer.setSingleShot(plan.oneShot);
        connect(&timer, &QTimer::timeout, this, plan.tick);
    }
    connect(&settings_, &Settings::changed, this, &Gateway::onSettingChanged);
    connect(&link_, &AprsIsLink::lineReceived, this,
            [this](const QByteArray &line) { receivePath_.handle(line); });
    connect(&link_, &AprsIsLink::loginSent, this, [this] { announcer_.restartCountdown(); });
    connect(&link_, &AprsIsLink::verified, this, [this] { webStartLocked_ = true; });
    connect(&link_, &AprsIsLink::notice, this, &Gateway::notice);
    connect(&link_, &AprsIsLink::reconnectNoticeChanged, this, &Gateway::reconnectNoticeChanged);
    connect(&web_, &WebServer::notice, this, &Gateway::notice);
    connect(&mailbox_, &HostMailbox::writeFailed, this,
            [this](const QString &key, const QString &name) {
                log_.logError(QStringLiteral("Mailbox"),
                              QStringLiteral("could not store %1 \"%2\"").arg(key, name));
            });
}

void Gateway::onSettingChanged(Settings::Field field)
{
    switch (field) {
    case Settings::DishSymbol:
    case Settings::HostBeaconText:
        deriveInternetBeacon();
        break;
    case Settings::IssObject:
        iss_.switched(settings_.isOn(Settings::IssObject));
        break;
    case Settings::WebServerYesNo:
        web_.start(true, !webStartLocked_);
        break;
    case Settings::ProxyYesNo:
        checkProxyFormat();
        break;
    default:
        break;
    }
}

void Gateway::checkProxyFormat()
{
    // Ticking the proxy box wants "address:port"; while the file is read
    // nothing is checked.
    if (readingSettings_ || !settings_.isOn(Settings::ProxyYesNo) ||
        settings_.text(Settings::ProxyAddress).contains(QLatin1Char(':')))
        return;
    emit information(QStringLiteral("Proxy format is:\rExample: 192.168.0.1:23"));
    settings_.setCheck(Settings::ProxyYesNo, false);
}

// --- The ways out ---------------------------------------------------------

bool Gateway::replaceFile(const QString &path, const QByteArray &content, const QString &what)
{
    const QString error = files::replaceFile(path, content);
    if (error.isEmpty())
        return true;
    const QString message = QStringLiteral("Could not save %1 to %2: %3").arg(what, path, error);
    log_.logError(QStringLiteral("Files"), message);
    emit failure(message);
    return false;
}

bool Gateway::saveList(const QString &path, const TextList &list)
{
    return replaceFile(path, files::joinLines(list.rows()),
                       QStringLiteral("the %1 list").arg(list.name()));
}

bool Gateway::writeSettingsFile()
{
    return replaceFile(folder_.resolve(QStringLiteral("\\kestrel.ini")),
                       settingsfile::write(settings_), QStringLiteral("the settings"));
}

bool Gateway::confirmSettings()
{
    const bool written = writeSettingsFile();
    mailbox_.selectPorts(settings_.text(Settings::RfPortIGate),
                         settings_.text(Settings::IGateRfPort));
    mailbox_.setTransmitAddressing(settings_.text(Settings::UnprotoPath));
    iss_.confirmed(settings_.isOn(Settings::IssObject));
    emit settingsConfirmed();
    return written;
}

void Gateway::closeMainWindow()
{
    if (quitting_)
        return;
    link_.close();
    bool saved = true;
    // A list that could not be loaded is not saved over its file.
    if (mheardLoaded_)
        saved = saveList(folder_.resolve(QStringLiteral("\\mheard.txt")), mheardList_) && saved;
    if (positionsLoaded_)
        saved =
            saveList(folder_.resolve(QStringLiteral("\\positions.txt")), positionsList_) && saved;
    requestQuit(saved ? 0 : 1);
}

void Gateway::exitCommand()
{
    if (quitting_)
        return;
    link_.close();
    const bool saved =
        saveList(QDir::current().absoluteFilePath(QStringLiteral("estaciones.txt")), igatedList_);
    requestQuit(saved ? 0 : 1);
}

void Gateway::requestQuit(int status)
{
    quitting_ = true;
    // The host takes one command at a time; what still waits would only
    // overwrite what it has not read yet.
    for (const QString &command : mailbox_.discardPending())
        log_.logError(QStringLiteral("Mailbox"),
                      QStringLiteral("ending before this was handed to the host: ") +
                          text::printable(command));
    for (const TimerPlan &plan : timerPlans())
        timerswitch::disable(this->*(plan.timer));
    if (started_)
        QFile::remove(runningMarker());
    emit quitRequested(status);
}

// --- Operator commands and procedures --------------------------------------

void Gateway::connectCommand()
{
    // A pending automatic connection or reconnection would undo this.
    timerswitch::disable(Timer1);
    if (Timer9.isActive()) {
        timerswitch::disable(Timer9);
        link_.setReconnectNoticeVisible(false);
    }
    link_.connectToggle();
}

void Gateway::setListAllPackets(bool on)
{
    if (receivePath_.listAllPackets() == on)
        return;
    receivePath_.setListAllPackets(on);
    emit listAllPacketsChanged(on);
}

void Gateway::checkStatus()
{
    const QString status = mailbox_.hostStatus();
    texts_.set(StateTexts::HostStatus, status.left(100));
    // A "terminated" found before the host was seen running was left by an
    // earlier run of the host: it says nothing about this one.
    if (status != kTerminated && !status.isEmpty())
        hostSeenRunning_ = true;
    if (status == kTerminated && hostSeenRunning_ && settings_.isOn(Settings::CloseZeno)) {
        log_.logError(QStringLiteral("Host"),
                      QStringLiteral("the host reports it has terminated; ending as "
                                     "\"Close when Zeno ends\" asks, without saving the lists"));
        requestQuit(0); // at once, saving nothing: the host has gone
    }
}

// --- Timer ticks -------------------------------------------------------------

void Gateway::timer1Tick()
{
    timerswitch::disable(Timer1);
    if (settings_.isOn(Settings::AutoYesNo))
        link_.connectToggle();
}

void Gateway::timer2Tick()
{
    inetRfGate_.clockTick();
}

void Gateway::timer4Tick()
{
    link_.relayTimerTick();
}

void Gateway::timer5Tick()
{
    link_.loginTimerTick();
}

void Gateway::timer6Tick()
{
    checkStatus();
    if (quitting_)
        return;
    // A mailbox that has gone is said once; the last frame taken is kept, so
    // the same frame found again when it is back is not gated twice.
    const QString problem = mailbox_.problem();
    if (problem != mailboxProblem_) {
        log_.logError(QStringLiteral("Mailbox"),
                      problem.isEmpty()
                          ? QStringLiteral("the mailbox is back; reading frames again")
                          : problem + QStringLiteral("; frames wait until it is back"));
        mailboxProblem_ = problem;
    }
    if (!problem.isEmpty())
        return;
    // Whatever one frame meets, the next second's pass comes; the link is
    // touched only by a send that fails.
    try {
        rfReceivePass();
    } catch (const std::exception &) {
        log_.appendLog(QStringLiteral("\\errors.txt"),
                       {QStringLiteral("Error_timer6 Time:") + text::stamp(clock_.now()),
                        QStringLiteral("Error_timer6 Packet:") + lastFrameTaken_});
    }
}

void Gateway::rfReceivePass()
{
    const QString frame = mailbox_.receivedFrame();
    if (frame == lastFrameTaken_)
        return;
    lastFrameTaken_ = frame;
    if (frame.size() > kMaxMonitorText) {
        refusals_.add(Refusal::OverlongFrame);
        log_.logError(
            QStringLiteral("Frame"),
            QStringLiteral("a monitor text of %1 bytes is longer than any frame; ignored: %2")
                .arg(frame.size())
                .arg(text::printable(frame.left(80))));
        return;
    }
    emit frameTaken(frame);
    satellites_.heard(frame, rfGate_.pass(frame));
}

void Gateway::timer7Tick()
{
    try {
        rfGate_.expiry();
    } catch (const std::exception &) {
        log_.appendLog(QStringLiteral("\\errors.txt"),
                       {QStringLiteral("Error_timer7 Time:") + text::stamp(clock_.now())});
    }
}

void Gateway::timer8Tick()
{
    link_.teardownTimerTick();
}

void Gateway::timer9Tick()
{
    link_.reconnectTimerTick();
}

void Gateway::timer10Tick()
{
    timerswitch::disable(Timer10);
    web_.start(false, true);
}

void Gateway::timer12Tick()
{
    timerswitch::disable(Timer12);
    emit fatalError(fatalMessage_);
}

void Gateway::timer14Tick()
{
    iss_.run();
}

void Gateway::timer15Tick()
{
    iss_.lampTick();
}

void Gateway::timer16Tick()
{
    iss_.progressTick();
}

QTimer &Gateway::timer(const QString &name)
{
    for (const TimerPlan &plan : timerPlans())
        if (name == QLatin1String(plan.name))
            return this->*(plan.timer);
    qFatal("no timer %s", qPrintable(name));
}

void Gateway::setConnectEnabled(bool enabled)
{
    if (connectEnabled_ == enabled)
        return;
    connectEnabled_ = enabled;
    emit connectEnabledChanged(enabled);
}

} // namespace kestrel
