#include "ui/setupdialog.h"

#include "core/text.h"
#include "station/gateway.h"
#include "ui/smallwindows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace kestrel {

using F = Settings::Field;

namespace {

const QLatin1String kDisconnected("DISCONNECTED");

QGroupBox *frame(const QString &caption, QLayout *layout)
{
    auto *box = new QGroupBox(caption);
    box->setLayout(layout);
    return box;
}

} // namespace

SetupDialog::SetupDialog(Gateway &gateway, QWidget *parent) : QDialog(parent), g_(gateway)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("SetUp"));
    setModal(false);

    tabs_ = new QTabWidget;
    tabs_->setObjectName(QStringLiteral("Tabs"));
    tabs_->addTab(serverPage(), QStringLiteral("APRS IS Server"));
    tabs_->addTab(sendPage(), QStringLiteral("APRS IS Send"));
    tabs_->addTab(igatePage(), QStringLiteral("IGate"));
    tabs_->addTab(miscPage(), QStringLiteral("Miscelaneous"));

    auto *ok = new QPushButton(QStringLiteral("&OK"));
    ok->setObjectName(QStringLiteral("Command1"));
    connect(ok, &QPushButton::clicked, this, [this] {
        hide();
        g_.confirmSettings();
    });
    auto *cancel = new QPushButton(QStringLiteral("&Cancel"));
    cancel->setObjectName(QStringLiteral("Command2"));
    connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);

    connect(&g_.settings(), &Settings::changed, this, [this](F f) {
        if (f == F::DigiAll || f == F::TypeAll)
            applyGreying();
    });
    applyGreying();
    // Nothing holds the connection fields once the link is down: a refused
    // login unlocks them at once, also while the dialog is open.
    connect(&g_.texts(), &StateTexts::textChanged, this,
            [this](StateTexts::Text t, const QString &value) {
                if (t == StateTexts::ConnectionState && value == kDisconnected)
                    lockConnectionFields(false);
            });
}

// --- Building blocks: each control is bound to its field both ways --------
//
// A control writes its field only when the operator changes it. What the
// record gives a control (the file at start-up, the gateway, another control)
// is shown as it is and never written back, so no control can alter a value
// it did not make.

namespace {

// QLineEdit cuts whatever it is given to its maximum length, so a box's
// limit is raised to hold a longer value from the file or the record whole.
// The operator still cannot make the text longer than the limit, or than
// such a value.
void showWhole(QLineEdit *box, int typingLimit, const QString &value)
{
    const int room = std::max(typingLimit, static_cast<int>(value.size()));
    if (room > box->maxLength())
        box->setMaxLength(room);
    box->setText(value);
    box->setMaxLength(room);
}

} // namespace

QLineEdit *SetupDialog::textBox(const char *name, int field, int maxLength)
{
    const auto f = static_cast<F>(field);
    auto *box = new QLineEdit;
    box->setObjectName(QString::fromLatin1(name));
    // The operator types no more than the file keeps, so what is typed reads back whole.
    const int fileLimit = Settings::info(f).maxLength;
    const int typingLimit = maxLength > 0 && (fileLimit == 0 || maxLength < fileLimit) ? maxLength
                            : fileLimit > 0                                            ? fileLimit
                                                                                       : 32767;
    showWhole(box, typingLimit, g_.settings().text(f));
    connect(box, &QLineEdit::textEdited, this,
            [this, f](const QString &t) { g_.settings().setText(f, t); });
    connect(&g_.settings(), &Settings::changed, box, [this, box, f, typingLimit](F changed) {
        if (changed == f && box->text() != g_.settings().text(f))
            showWhole(box, typingLimit, g_.settings().text(f));
    });
    return box;
}

QCheckBox *SetupDialog::checkBox(const char *name, const QString &caption, int field)
{
    const auto f = static_cast<F>(field);
    auto *box = new QCheckBox(caption);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(g_.settings().isOn(f));
    connect(box, &QCheckBox::clicked, this, [this, f](bool on) { g_.settings().setCheck(f, on); });
    connect(&g_.settings(), &Settings::changed, box, [this, box, f](F changed) {
        if (changed == f)
            box->setChecked(g_.settings().isOn(f));
    });
    return box;
}

QComboBox *SetupDialog::comboBox(const char *name, int field, const QStringList &items)
{
    const auto f = static_cast<F>(field);
    auto *box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(items);
    const auto show = [this, box, f] {
        const QString value = g_.settings().text(f);
        int index = box->findText(value);
        // A value of the file that is no item is shown as it is; an empty
        // one shows nothing rather than an item that is not in force.
        if (index < 0 && !value.isEmpty()) {
            box->addItem(value);
            index = box->count() - 1;
        }
        box->setCurrentIndex(index);
    };
    show();
    // Also when the operator picks the item already shown.
    connect(box, &QComboBox::activated, this,
            [this, box, f](int index) { g_.settings().setText(f, box->itemText(index)); });
    connect(&g_.settings(), &Settings::changed, box, [f, show](F changed) {
        if (changed == f)
            show();
    });
    return box;
}

QLabel *SetupDialog::label(const QString &text, const char *name)
{
    auto *l = new QLabel(text);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}

// --- Pages ------------------------------------------------------------------

QWidget *SetupDialog::serverPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("Frame3"));
    auto *form = new QFormLayout;
    const auto field = [&](const QString &caption, QLineEdit *box, bool locked) {
        QLabel *l = label(caption);
        form->addRow(l, box);
        if (locked)
            connectionFields_ << l << box;
    };
    field(QStringLiteral("Host:"), textBox("Text1", F::AprsIsHost), true);
    field(QStringLiteral("Port:"), textBox("Text2", F::AprsIsPort), true);
    field(QStringLiteral("Validation #:"), textBox("Text5", F::ValidationNumber), true);
    field(QStringLiteral("Filter:"), textBox("Text15", F::AprsFilter), true);
    QLineEdit *call = textBox("Text6", F::OwnCall, 9);
    connect(call, &QLineEdit::editingFinished, this,
            [this, call] { g_.settings().setText(F::OwnCall, call->text().toUpper()); });
    field(QStringLiteral("CallSign:"), call, false);

    auto *proxy = new QHBoxLayout;
    proxy->addWidget(checkBox("Check2", QStringLiteral("use Proxy  >>>"), F::ProxyYesNo));
    QLineEdit *proxyAddress = textBox("Text16", F::ProxyAddress);
    connectionFields_ << proxyAddress;
    proxy->addWidget(proxyAddress, 1);
    form->addRow(proxy);
    form->addRow(
        checkBox("Check5", QStringLiteral("AutoConnect (30 sec. after Start)"), F::AutoYesNo));
    page->setLayout(form);
    return page;
}

QWidget *SetupDialog::sendPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("Frame6"));
    auto *layout = new QVBoxLayout(page);

    auto *answer = new QHBoxLayout;
    answer->addWidget(checkBox("Check8", QStringLiteral("Auto Answer >"), F::AnswerYesNo));
    answer->addWidget(textBox("Text7", F::AnswerText, 45), 1);
    layout->addLayout(answer);

    auto *beacon = new QGridLayout;
    beacon->addWidget(checkBox("Check9", QStringLiteral("Send "), F::InetBeacon), 0, 0);
    beacon->addWidget(checkBox("Check10", QStringLiteral("Use DIGI Symbol"), F::DishSymbol), 0, 1);
    beacon->addWidget(label(QStringLiteral("Interval (sec.):")), 1, 0);
    QLineEdit *interval = textBox("Text12", F::Interval, 4);
    interval->setMaximumWidth(70);
    beacon->addWidget(interval, 1, 1);
    QLabel *hours = label(intervalText(interval->text()), "Label22");
    connect(interval, &QLineEdit::textChanged, hours,
            [hours](const QString &t) { hours->setText(intervalText(t)); });
    beacon->addWidget(hours, 1, 2);
    QLabel *beaconText = label(g_.settings().text(F::InternetBeaconText), "Label8");
    beaconText->setTextFormat(Qt::PlainText);
    beaconText->setWordWrap(true);
    connect(&g_.settings(), &Settings::changed, beaconText, [this, beaconText](F f) {
        if (f == F::InternetBeaconText)
            beaconText->setText(g_.settings().text(F::InternetBeaconText));
    });
    beacon->addWidget(beaconText, 2, 0, 1, 3);
    layout->addWidget(frame(QStringLiteral("Position Beacon"), beacon));

    auto *status = new QVBoxLayout;
    status->addWidget(checkBox("Check13", QStringLiteral("Add Best DX to Status text"), F::AddDx));
    status->addWidget(textBox("Text9", F::StatusText, 45));
    layout->addWidget(frame(QStringLiteral("Status Text"), status));

    auto *bulletin = new QHBoxLayout;
    bulletin->addWidget(checkBox("Check11", QStringLiteral("Send"), F::SendBull));
    bulletin->addWidget(textBox("Text8", F::BulletinText, 64), 1);
    layout->addWidget(frame(QStringLiteral("Bulletin"), bulletin));
    layout->addStretch();
    return page;
}

QWidget *SetupDialog::igatePage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("Frame2"));
    auto *grid = new QGridLayout(page);

    auto *rx = new QVBoxLayout;
    rx->addWidget(comboBox("Combo1", F::RfPortIGate, {"1", "2", "3", "4", "5", "All"}));
    grid->addWidget(frame(QStringLiteral("Rx Port"), rx), 0, 0);

    auto *mheard = new QGridLayout;
    mheard->addWidget(label(QStringLiteral("Expire Time:")), 0, 0);
    mheard->addWidget(comboBox("Combo2", F::MHExpTime, {"2", "3", "6", "12"}), 0, 1);
    mheard->addWidget(label(QStringLiteral("hours")), 0, 2);
    mheard->addWidget(checkBox("Check12", QStringLiteral("DX Direct Only"), F::OnlyDirect), 1, 0, 1,
                      3);
    grid->addWidget(frame(QStringLiteral("Mheard "), mheard), 0, 1);

    auto *calls = new QGridLayout;
    QCheckBox *all = checkBox("Check1", QStringLiteral("Gate All"), F::DigiAll);
    all->setToolTip(QStringLiteral("All CallSigns"));
    calls->addWidget(all, 0, 0);
    QCheckBox *direct = checkBox("Check14", QStringLiteral("Gate only Direct"), F::GateOnlyDirect);
    direct->setToolTip(QStringLiteral("Not if packet comes from a DIGI"));
    calls->addWidget(direct, 0, 1);
    calls->addWidget(label(QStringLiteral("Gate only these"), "Label4"), 1, 0);
    auto *entry = new QLineEdit;
    entry->setObjectName(QStringLiteral("Text4"));
    entry->setMaxLength(9);
    calls->addWidget(entry, 2, 0);
    auto *add = new QPushButton(QStringLiteral(">> Add >>"));
    add->setObjectName(QStringLiteral("Command3"));
    connect(add, &QPushButton::clicked, this, &SetupDialog::addCallSign);
    calls->addWidget(add, 3, 0);
    auto *remove = new QPushButton(QStringLiteral("Delete"));
    remove->setObjectName(QStringLiteral("Command4"));
    calls->addWidget(remove, 4, 0);
    auto *list = new QListWidget;
    list->setObjectName(QStringLiteral("List1"));
    list->addItems(g_.settings().digiList());
    connect(&g_.settings(), &Settings::digiListChanged, list, [this, list] {
        list->clear();
        list->addItems(g_.settings().digiList());
    });
    connect(remove, &QPushButton::clicked, this, [this, list] {
        const int row = list->currentRow();
        if (row < 0 || !list->currentItem()->isSelected())
            return;
        QStringList rows = g_.settings().digiList();
        rows.removeAt(row);
        g_.settings().setDigiList(rows);
    });
    calls->addWidget(list, 1, 1, 4, 1);
    grid->addWidget(frame(QStringLiteral("CallSigns"), calls), 1, 0, 1, 2);

    auto *types = new QHBoxLayout;
    types->addWidget(checkBox("Check20", QStringLiteral("All"), F::TypeAll));
    types->addWidget(checkBox("Check21", QStringLiteral("Message"), F::TypeMessage));
    types->addWidget(checkBox("Check22", QStringLiteral("Bulletin"), F::TypeBulletin));
    types->addWidget(checkBox("Check23", QStringLiteral("Position"), F::TypePosition));
    auto *inet = new QGridLayout;
    inet->addWidget(frame(QStringLiteral("Packet Type"), types), 0, 0, 1, 2);
    QComboBox *txPort = comboBox("Combo3", F::IGateRfPort, {"0", "1", "2", "3", "4", "5"});
    txPort->setToolTip(QStringLiteral("0=Disabled"));
    txPort->installEventFilter(this);
    auto *tx = new QVBoxLayout;
    tx->addWidget(txPort);
    inet->addWidget(frame(QStringLiteral("Tx Port"), tx), 1, 0);
    auto *pack = new QVBoxLayout;
    pack->addWidget(comboBox("Combo4", F::PacketsMin, {"6", "7", "8", "9"}));
    inet->addWidget(frame(QStringLiteral("Pack/min"), pack), 1, 1);
    auto *path = new QFormLayout;
    QLineEdit *unproto = textBox("Text11", F::UnprotoPath);
    connect(unproto, &QLineEdit::editingFinished, this,
            [this, unproto] { g_.settings().setText(F::UnprotoPath, unproto->text().toUpper()); });
    path->addRow(label(QStringLiteral("Unproto Path:")), unproto);
    QLabel *filter = label(g_.texts().text(StateTexts::FilterDisplay), "Label19");
    filter->setTextFormat(Qt::PlainText);
    connect(&g_.texts(), &StateTexts::textChanged, filter,
            [filter](StateTexts::Text t, const QString &v) {
                if (t == StateTexts::FilterDisplay)
                    filter->setText(v);
            });
    path->addRow(label(QStringLiteral("Filter:")), filter);
    inet->addLayout(path, 2, 0, 1, 2);
    grid->addWidget(frame(QStringLiteral("Inet to RF"), inet), 2, 0, 1, 2);
    return page;
}

QWidget *SetupDialog::miscPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("Frame1"));
    auto *grid = new QGridLayout(page);

    auto *iss = new QVBoxLayout;
    iss->addWidget(checkBox("Check24", QStringLiteral("Tx every minute"), F::IssObject));
    iss->addWidget(checkBox("Check25", QStringLiteral("Only if El > 0"), F::IssObjectOnly));
    grid->addWidget(frame(QStringLiteral("ISS Position Object"), iss), 0, 0);

    auto *zeno = new QVBoxLayout;
    zeno->addWidget(checkBox("Check4", QStringLiteral("Run when Zeno start"), F::RunZeno));
    zeno->addWidget(checkBox("Check6", QStringLiteral("Close when Zeno ends"), F::CloseZeno));
    grid->addLayout(zeno, 0, 1);

    auto *logs = new QVBoxLayout;
    QCheckBox *visits = checkBox("Check19", QStringLiteral("Log to web_visits.txt"), F::LogVisits);
    visits->setToolTip(QStringLiteral("WEB Visitors"));
    logs->addWidget(visits);
    logs->addWidget(checkBox("Check7", QStringLiteral("Log to file igated.txt"), F::LogIGated));
    logs->addWidget(checkBox("Check15", QStringLiteral("Log to file aprs_is.txt"), F::LogAprsIs));
    logs->addWidget(
        checkBox("Check16", QStringLiteral("Log to file serv_conn.txt"), F::LogServConn));
    logs->addWidget(
        checkBox("Check17", QStringLiteral("Log to file incoming_msgs.txt"), F::LogMsgs));
    logs->addWidget(checkBox("Check18", QStringLiteral("Log to file Inet_RF"), F::LogInetRf));
    grid->addWidget(frame(QStringLiteral("Logs into \"Logs_Kestrel\" folder"), logs), 1, 0);

    auto *web = new QGridLayout;
    web->addWidget(checkBox("Check3", QStringLiteral("Enabled"), F::WebServerYesNo), 0, 0);
    web->addWidget(label(QStringLiteral("Port:")), 0, 1);
    QLineEdit *port = textBox("Text3", F::WebServerPort, 5);
    port->setMaximumWidth(70);
    web->addWidget(port, 0, 2);
    web->addWidget(label(QStringLiteral("Local IP:")), 1, 0);
    QLabel *address = label(g_.web().localAddress(), "Label14");
    web->addWidget(address, 1, 1, 1, 2);
    auto *check = new QPushButton(QStringLiteral("Check"));
    check->setObjectName(QStringLiteral("Command5"));
    check->setEnabled(g_.web().checkEnabled());
    connect(&g_.web(), &WebServer::checkEnabledChanged, check, &QWidget::setEnabled);
    connect(check, &QPushButton::clicked, this, [address, port] {
        QDesktopServices::openUrl(
            QUrl(QStringLiteral("http://") + address->text() + QLatin1Char(':') + port->text()));
    });
    web->addWidget(check, 1, 3);
    web->addWidget(label(QStringLiteral("Web Header Comments")), 2, 0, 1, 4);
    web->addWidget(textBox("Text10", F::WebComments), 3, 0, 1, 4);
    grid->addWidget(frame(QStringLiteral("Web Server"), web), 1, 1);
    grid->setRowStretch(2, 1);
    return page;
}

// --- Handlers ---------------------------------------------------------------

QString SetupDialog::intervalText(const QString &seconds)
{
    const double s = std::max(0.0, std::floor(text::numericValue(seconds)));
    const auto hours = static_cast<long long>(s / 3600);
    const auto minutes = static_cast<long long>(std::round((s / 3600 - double(hours)) * 60));
    return QStringLiteral("%1h%2m")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'));
}

void SetupDialog::applyGreying()
{
    const bool listed = !g_.settings().isOn(F::DigiAll);
    for (const char *name : {"Label4", "List1", "Text4", "Command3", "Command4"})
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(name)))
            w->setEnabled(listed);
    const bool byType = !g_.settings().isOn(F::TypeAll);
    for (const char *name : {"Check21", "Check22", "Check23"})
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(name)))
            w->setEnabled(byType);
}

void SetupDialog::addCallSign()
{
    auto *entry = findChild<QLineEdit *>(QStringLiteral("Text4"));
    switch (g_.settings().addDigi(entry->text())) {
    case Settings::Added::Yes:
        entry->clear();
        break;
    case Settings::Added::AlreadyListed:
        showMessage(this, QMessageBox::Warning,
                    Settings::digiRow(entry->text()) + QStringLiteral(" already in the list!"));
        break;
    case Settings::Added::Empty:
        break;
    }
}

void SetupDialog::leaveTxPort()
{
    const QString port = g_.settings().text(F::IGateRfPort);
    if (port == QLatin1String("0")) {
        g_.texts().set(StateTexts::InetToRfStatus, QStringLiteral("Disabled"));
        return;
    }
    showMessage(this, QMessageBox::Warning,
                QStringLiteral("You are Enabling IGate to RF!\r\nBe sure RF Port ") + port +
                    QStringLiteral(" is NOT in an Uplink/Dwnlink Satellite Frequency!\r\n"
                                   "If you want to DISABLE this function Select Port 0"));
}

bool SetupDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Leaving the box, not opening its list.
    if (event->type() == QEvent::FocusOut && watched->objectName() == QLatin1String("Combo3") &&
        static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
        leaveTxPort();
    return QDialog::eventFilter(watched, event);
}

void SetupDialog::lockConnectionFields(bool locked)
{
    for (QWidget *w : std::as_const(connectionFields_))
        w->setEnabled(!locked);
}

void SetupDialog::open()
{
    lockConnectionFields(g_.texts().text(StateTexts::ConnectionState) != kDisconnected);
    show();
    raise();
    activateWindow();
}

} // namespace kestrel
