#include "ui/smallwindows.h"

#include "core/services.h"
#include "station/gateway.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaEnum>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <QVersionNumber>

namespace kestrel {

QMessageBox *showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    auto *box =
        new QMessageBox(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
    return box;
}

namespace {

QString encodedCall(const QString &call)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(call));
}

// Where the system information program is, or nothing.
QString systemInfoProgram()
{
#ifdef Q_OS_WIN
    const QSettings info(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
        QSettings::NativeFormat);
    const QString path = info.value(QStringLiteral("PATH")).toString();
    if (!path.isEmpty())
        return path;
    const QSettings location(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location"),
        QSettings::NativeFormat);
    const QString folder = location.value(QStringLiteral("MSINFO")).toString();
    if (folder.isEmpty())
        return {};
    const QString program = folder + QStringLiteral("\\MSINFO32.EXE");
    return QFileInfo::exists(program) ? program : QString();
#else
    return {};
#endif
}

} // namespace

void openAddress(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

QUrl aprsLookup(const Services &s, const QString &call)
{
    return Services::address(s.aprsLookupHost,
                             QStringLiteral("/cgi-bin/find.cgi?") + encodedCall(call));
}

QUrl callbookLookup(const Services &s, const QString &call)
{
    const qsizetype dash = call.indexOf(u'-');
    return Services::address(s.callbookHost, QStringLiteral("/db/") +
                                                 encodedCall(dash < 0 ? call : call.left(dash)));
}

QString serviceName(const QString &host)
{
    const QString name = Services::address(host, {}).host();
    return name.isEmpty() ? host : name;
}

void openHelp(QWidget *parent)
{
#ifdef Q_OS_WIN
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("Zeno Kestrel.chm"));
#else
    // Beside the program in a build folder; under share/ once installed.
    const QDir programs(QCoreApplication::applicationDirPath());
    QString path = programs.absoluteFilePath(QStringLiteral("help.html"));
    const QString installed =
        programs.absoluteFilePath(QStringLiteral("../share/kestrel/help.html"));
    if (!QFileInfo::exists(path) && QFileInfo::exists(installed))
        path = QDir::cleanPath(installed);
#endif
    if (!QFileInfo::exists(path)) {
        showMessage(
            parent, QMessageBox::Warning,
            QStringLiteral("The help was not found at %1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    openAddress(QUrl::fromLocalFile(path));
}

// --- Form5 -----------------------------------------------------------------

FrameWindow::FrameWindow(const Services &services, QWidget *parent)
    : QDialog(parent), services_(services)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Frame ..."));
    setModal(false);

    frame_ = new QLabel;
    frame_->setObjectName(QStringLiteral("Label1"));
    frame_->setTextFormat(Qt::PlainText);
    frame_->setWordWrap(true);
    frame_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    callbook_ = new QPushButton;
    callbook_->setObjectName(QStringLiteral("Command1"));
    aprs_ = new QPushButton;
    aprs_->setObjectName(QStringLiteral("Command2"));
    connect(callbook_, &QPushButton::clicked, this, [this] {
        openAddress(callbookLookup(services_, source_));
        hide();
    });
    connect(aprs_, &QPushButton::clicked, this, [this] {
        openAddress(aprsLookup(services_, source_));
        hide();
    });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(callbook_);
    buttons->addWidget(aprs_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame_, 1);
    layout->addLayout(buttons);
    resize(520, 140);
}

QString FrameWindow::frameAt(const QStringList &rows, int row)
{
    if (row < 0 || row >= rows.size())
        return {};
    const QString &here = rows.at(row);
    if (here.endsWith(u':'))
        return row + 1 < rows.size() ? here + rows.at(row + 1) : here;
    return row > 0 ? rows.at(row - 1) + here : here;
}

void FrameWindow::showFrame(const QString &frame)
{
    frame_->setText(frame);
    const qsizetype gt = frame.indexOf(u'>');
    if (gt < 0)
        return;
    source_ = frame.left(gt);
    callbook_->setText(source_ + QStringLiteral(" en ") + serviceName(services_.callbookHost));
    aprs_->setText(source_ + QStringLiteral(" en ") + serviceName(services_.aprsLookupHost));
    show();
    raise();
    activateWindow();
}

// --- Form7 -----------------------------------------------------------------

StatisticsWindow::StatisticsWindow(const Gateway &gateway, QWidget *parent)
    : QDialog(parent), gateway_(gateway)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Statistics"));
    setModal(false);

    const QMetaEnum keys = QMetaEnum::fromType<StateTexts::Counter>();
    auto *grid = new QGridLayout;
    for (int i = 0; i < StateTexts::CounterCount; ++i) {
        const auto c = static_cast<StateTexts::Counter>(i);
        auto *caption = new QLabel(StateTexts::name(c));
        auto *value = new QLabel(QString::number(gateway.texts().count(c)));
        value->setObjectName(QString::fromLatin1(keys.valueToKey(c)));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setMinimumWidth(70);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        grid->addWidget(caption, i, 0);
        grid->addWidget(value, i, 1);
        counters_[i] = value;
    }
    connect(&gateway.texts(), &StateTexts::counterChanged, this,
            [this](StateTexts::Counter c, qint64 value) {
                const int i = c;
                if (i >= 0 && i < StateTexts::CounterCount)
                    counters_[i]->setText(QString::number(value));
            });

    rfPort_ = new QLabel;
    rfPort_->setObjectName(QStringLiteral("RfPortIGate"));
    inetPort_ = new QLabel;
    inetPort_->setObjectName(QStringLiteral("IGateRfPort"));
    grid->addWidget(rfPort_, StateTexts::RfToInet, 2);
    grid->addWidget(inetPort_, StateTexts::InetToRf, 2);
    showPorts();
    connect(&gateway, &Gateway::started, this, &StatisticsWindow::showPorts);
    connect(&gateway, &Gateway::settingsConfirmed, this, &StatisticsWindow::showPorts);

    // Why frames and lines did not go on, as the headless output says it:
    // one line a reason met so far.
    auto *notGated = new QLabel;
    notGated->setObjectName(QStringLiteral("NotGated"));
    notGated->setTextFormat(Qt::PlainText);
    const auto showRefusals = [notGated, &gateway] {
        QStringList lines;
        for (int i = 0; i < static_cast<int>(Refusal::Count); ++i)
            if (gateway.refusals().count(static_cast<Refusal>(i)) > 0)
                lines << gateway.refusals().line(static_cast<Refusal>(i));
        notGated->setText(lines.join(QLatin1Char('\n')));
    };
    showRefusals();
    connect(&gateway.refusals(), &RefusalCounts::counted, notGated, showRefusals);

    auto *ok = new QPushButton(QStringLiteral("&OK"));
    ok->setObjectName(QStringLiteral("Command1"));
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(notGated);
    layout->addWidget(ok, 0, Qt::AlignCenter);
}

void StatisticsWindow::showPorts()
{
    rfPort_->setText(QStringLiteral("Port:") + gateway_.settings().text(Settings::RfPortIGate));
    inetPort_->setText(QStringLiteral("Port:") + gateway_.settings().text(Settings::IGateRfPort));
}

// --- frmAbout --------------------------------------------------------------

AboutWindow::AboutWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    const QString title = QCoreApplication::applicationName();
    setWindowTitle(QStringLiteral("Acerca de ") + title);

    const QVersionNumber v = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    const auto label = [](const char *name, const QString &text) {
        auto *l = new QLabel(text);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto *titleLabel = label("lblTitle", title);
    titleLabel->setStyleSheet(QStringLiteral("font-size: 14pt; font-weight: bold;"));
    auto *version = label("lblVersion", QStringLiteral("Version %1.%2.%3")
                                            .arg(v.majorVersion())
                                            .arg(v.minorVersion())
                                            .arg(v.microVersion()));
    auto *description = label("lblDescription", QStringLiteral("Zeno AddOn. APRS IGate"));
    auto *disclaimer = label("lblDisclaimer", QStringLiteral("Only for Hamradio users"));

    auto *accept = new QPushButton(QStringLiteral("&Accept"));
    accept->setObjectName(QStringLiteral("cmdOK"));
    accept->setDefault(true);
    connect(accept, &QPushButton::clicked, this, &QWidget::close);
    auto *systemInfo = new QPushButton(QStringLiteral("&System Info"));
    systemInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(systemInfo, &QPushButton::clicked, this, &AboutWindow::startSystemInfo);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(accept);
    buttons->addWidget(systemInfo);
    buttons->addStretch();
    auto *texts = new QVBoxLayout;
    texts->addWidget(titleLabel);
    texts->addWidget(version);
    texts->addWidget(description);
    texts->addStretch();
    texts->addWidget(disclaimer);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(texts, 1);
    layout->addLayout(buttons);
}

void AboutWindow::startSystemInfo()
{
    const QString program = systemInfoProgram();
    if (!program.isEmpty() && QProcess::startDetached(program, {}))
        return;
    showMessage(this, QMessageBox::Information,
                QStringLiteral("System Info is not available at this moment"));
}

} // namespace kestrel
