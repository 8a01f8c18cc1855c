#include "ui/mainwindow.h"

#include "station/gateway.h"
#include "ui/setupdialog.h"
#include "ui/smallwindows.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

namespace kestrel {

namespace {
QFont fixedFont()
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

// The ISS progress bar grows by 16.66 units a second: a minute fills it.
constexpr int kIssBarFull = 1000;
} // namespace

MainWindow::MainWindow(Gateway &gateway, QWidget *parent) : QMainWindow(parent), gateway_(gateway)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Zeno Kestrel"));

    auto *central = new QWidget(this);
    auto *top = new QHBoxLayout;
    top->addWidget(buildIssFrame(), 3);

    auto *station = new QVBoxLayout;
    station->addWidget(boundLabel(QStringLiteral("Label8"), StateTexts::OwnCallText));
    station->addWidget(boundLabel(QStringLiteral("Label6"), StateTexts::WebServerState));
    auto *inetToRf = new QGroupBox(QStringLiteral("Inet to RF"));
    inetToRf->setObjectName(QStringLiteral("Frame7"));
    auto *inetLayout = new QVBoxLayout(inetToRf);
    inetLayout->addWidget(boundLabel(QStringLiteral("Label1"), StateTexts::InetToRfStatus));
    station->addWidget(inetToRf);
    station->addWidget(buildSiteLink());
    top->addLayout(station, 1);
    top->addWidget(buildServerFrame(), 2);

    auto *lists = new QSplitter(Qt::Vertical);
    auto *upper = new QSplitter(Qt::Horizontal);
    upper->addWidget(buildPositionsFrame());
    upper->addWidget(buildInternetFrame());
    lists->addWidget(upper);
    auto *lower = new QSplitter(Qt::Horizontal);
    lower->addWidget(listFrame(QStringLiteral("Frame4"), QStringLiteral("IGated Packets List"),
                               gateway.igatedList(), QStringLiteral("List3")));
    auto *mheard = listFrame(QStringLiteral("Frame5"), QStringLiteral("MHeard"),
                             gateway.mheardList(), QStringLiteral("List4"));
    // The header's words stand over the rows' columns: the call in ten
    // places, the date at 11, the time at 20, the path at 29.
    auto *header = new QLabel(QStringLiteral("Station   Date     Time     Path"));
    header->setObjectName(QStringLiteral("Label5"));
    header->setFont(fixedFont());
    const auto *heardView = mheard->findChild<QListView *>(QStringLiteral("List4"));
    header->setIndent(heardView->frameWidth() +
                      heardView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    static_cast<QVBoxLayout *>(mheard->layout())->insertWidget(0, header);
    lower->addWidget(mheard);
    lists->addWidget(lower);

    auto *layout = new QVBoxLayout(central);
    layout->addLayout(top);
    layout->addWidget(lists, 1);
    setCentralWidget(central);

    auto *host = new QLabel;
    host->setObjectName(QStringLiteral("HostStatus"));
    statusBar()->addWidget(host);
    connect(&gateway.texts(), &StateTexts::textChanged, host,
            [host](StateTexts::Text t, const QString &value) {
                if (t == StateTexts::HostStatus)
                    host->setText(QStringLiteral("Zeno: ") + value);
            });

    setup_ = new SetupDialog(gateway_, this);
    statistics_ = new StatisticsWindow(gateway_, this);

    // A double click on either row of a frame shows the whole frame.
    frameWindow_ = new FrameWindow(gateway_.services(), this);
    auto *packets = findChild<QListView *>(QStringLiteral("List2"));
    connect(packets, &QListView::doubleClicked, frameWindow_, [this](const QModelIndex &index) {
        frameWindow_->showFrame(FrameWindow::frameAt(gateway_.internetList().rows(), index.row()));
    });

    // busca_inet: the look-ups of the MHeard station under the mouse.
    auto *heard = findChild<QListView *>(QStringLiteral("List4"));
    heard->setToolTip(
        QStringLiteral("Select a station, then right-click to look it up on the web"));
    heard->viewport()->installEventFilter(this);
    lookups_ = new QMenu(this);
    lookups_->setObjectName(QStringLiteral("busca_inet"));
    QAction *qrz = lookups_->addAction(QString());
    qrz->setObjectName(QStringLiteral("qrz"));
    connect(qrz, &QAction::triggered, this, [this] { lookUpSelected(true); });
    QAction *fi = lookups_->addAction(QString());
    fi->setObjectName(QStringLiteral("fi"));
    connect(fi, &QAction::triggered, this, [this] { lookUpSelected(false); });
    // The window is built before start-up reads services.ini.
    const auto nameServices = [this, qrz, fi] {
        qrz->setText(serviceName(gateway_.services().callbookHost));
        fi->setText(serviceName(gateway_.services().aprsLookupHost));
    };
    nameServices();
    connect(&gateway_, &Gateway::started, this, nameServices);

    // The ISS line as the tool tip of its frame and both lines.
    for (const char *name : {"Frame10", "Label3", "Label4"})
        findChild<QWidget *>(QString::fromLatin1(name))->installEventFilter(this);

    buildMenus();
    buildReconnectNotice();

    // F5 anywhere in the window: the ISS position now.
    auto *fetchIss = new QAction(this);
    fetchIss->setObjectName(QStringLiteral("IssNow"));
    fetchIss->setShortcut(Qt::Key_F5);
    fetchIss->setShortcutContext(Qt::WindowShortcut);
    connect(fetchIss, &QAction::triggered, &gateway_, &Gateway::issRoutine);
    addAction(fetchIss);
    resize(1100, 760);
}

QLabel *MainWindow::boundLabel(const QString &objectName, int text)
{
    const auto which = static_cast<StateTexts::Text>(text);
    auto *label = new QLabel(gateway_.texts().text(which));
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    connect(&gateway_.texts(), &StateTexts::textChanged, label,
            [label, which](StateTexts::Text t, const QString &value) {
                if (t == which)
                    label->setText(value);
            });
    return label;
}

QWidget *MainWindow::buildIssFrame()
{
    auto *frame = new QGroupBox(gateway_.texts().text(StateTexts::IssCaption));
    frame->setObjectName(QStringLiteral("Frame10"));
    connect(&gateway_.texts(), &StateTexts::textChanged, frame,
            [frame](StateTexts::Text t, const QString &value) {
                if (t == StateTexts::IssCaption)
                    frame->setTitle(value);
            });
    auto *layout = new QGridLayout(frame);
    QLabel *object = boundLabel(QStringLiteral("Label3"), StateTexts::IssObject);
    object->setFont(fixedFont()); // the object's fields keep their widths
    layout->addWidget(object, 0, 0, 1, 2);
    QLabel *line = boundLabel(QStringLiteral("Label4"), StateTexts::IssLine);
    // Green and bold while the ISS is above the horizon, red below it.
    const auto showAbove = [line](bool above) {
        line->setStyleSheet(above ? QStringLiteral("color: #00c000; font-weight: bold;")
                                  : QStringLiteral("color: #ff0000; font-weight: normal;"));
    };
    showAbove(gateway_.iss().above());
    connect(&gateway_.iss(), &IssRoutine::aboveChanged, line, showAbove);
    layout->addWidget(line, 1, 0);

    auto *lamp = new QLabel;
    lamp->setObjectName(QStringLiteral("Shape1"));
    lamp->setFixedSize(14, 14);
    lamp->setStyleSheet(QStringLiteral("background: #20c020; border-radius: 7px;"));
    lamp->setVisible(gateway_.iss().lampVisible());
    connect(&gateway_.iss(), &IssRoutine::lampVisibleChanged, lamp, &QWidget::setVisible);
    layout->addWidget(lamp, 1, 1);

    auto *bar = new QProgressBar;
    bar->setObjectName(QStringLiteral("Shape3"));
    bar->setRange(0, kIssBarFull);
    bar->setTextVisible(false);
    bar->setMaximumHeight(8);
    bar->setVisible(gateway_.iss().barVisible());
    const auto showProgress = [bar](double width) {
        bar->setValue(std::min(kIssBarFull, static_cast<int>(width)));
    };
    showProgress(gateway_.iss().progress());
    connect(&gateway_.iss(), &IssRoutine::progressChanged, bar, showProgress);
    connect(&gateway_.iss(), &IssRoutine::barVisibleChanged, bar, &QWidget::setVisible);
    layout->addWidget(bar, 2, 0, 1, 2);

    // The next pass of a followed satellite; the rest of the day's in its tip.
    auto *next = new QLabel;
    next->setObjectName(QStringLiteral("NextPass"));
    next->setTextFormat(Qt::PlainText);
    const auto showPasses = [next](StateTexts::Text t, const QString &value) {
        if (t == StateTexts::NextPass)
            next->setText(value.isEmpty() ? QString() : QStringLiteral("Next pass: ") + value);
        else if (t == StateTexts::Passes)
            next->setToolTip(value.isEmpty()
                                 ? QString()
                                 : QStringLiteral("Passes of the coming day:\n") + value);
    };
    for (const StateTexts::Text t : {StateTexts::NextPass, StateTexts::Passes})
        showPasses(t, gateway_.texts().text(t));
    connect(&gateway_.texts(), &StateTexts::textChanged, next, showPasses);
    layout->addWidget(next, 3, 0, 1, 2);
    return frame;
}

QWidget *MainWindow::buildServerFrame()
{
    auto *frame = new QGroupBox(QStringLiteral("APRS Host Server"));
    frame->setObjectName(QStringLiteral("Frame2"));
    auto *layout = new QGridLayout(frame);

    auto *connectButton = new QPushButton(gateway_.texts().text(StateTexts::ConnectCaption));
    connectButton->setObjectName(QStringLiteral("Command2"));
    connectButton->setEnabled(gateway_.connectEnabled());
    connect(&gateway_, &Gateway::connectEnabledChanged, connectButton, &QWidget::setEnabled);
    connect(&gateway_.texts(), &StateTexts::textChanged, connectButton,
            [connectButton](StateTexts::Text t, const QString &value) {
                if (t == StateTexts::ConnectCaption)
                    connectButton->setText(value);
            });
    connect(connectButton, &QPushButton::clicked, &gateway_, &Gateway::connectCommand);
    layout->addWidget(connectButton, 0, 0);

    auto *connections = new QLabel(QStringLiteral("Connections:"));
    connections->setObjectName(QStringLiteral("Label29"));
    layout->addWidget(connections, 0, 1, Qt::AlignRight);
    layout->addWidget(boundLabel(QStringLiteral("Label30"), StateTexts::Connections), 0, 2);
    auto *state = boundLabel(QStringLiteral("Label2"), StateTexts::ConnectionState);
    state->setStyleSheet(QStringLiteral("font-weight: bold;"));
    layout->addWidget(state, 1, 0, 1, 3);
    return frame;
}

QWidget *MainWindow::buildPositionsFrame()
{
    auto *frame = listFrame(QStringLiteral("Frame6"), QStringLiteral("Position Beacons"),
                            gateway_.positionsList(), QStringLiteral("List5"));
    auto *layout = static_cast<QVBoxLayout *>(frame->layout());
    layout->addWidget(boundLabel(QStringLiteral("Label9"), StateTexts::LastStation));
    auto *dx = new QHBoxLayout;
    auto *dxCaption = new QLabel(QStringLiteral("DX:"));
    dxCaption->setObjectName(QStringLiteral("Label11"));
    dx->addWidget(dxCaption);
    dx->addWidget(boundLabel(QStringLiteral("Label10"), StateTexts::DxText), 1);
    layout->addLayout(dx);
    layout->addWidget(boundLabel(QStringLiteral("Label12"), StateTexts::MicELine));
    return frame;
}

QWidget *MainWindow::buildInternetFrame()
{
    auto *frame = listFrame(QStringLiteral("Frame3"), QStringLiteral("Internet Packet List"),
                            gateway_.internetList(), QStringLiteral("List2"));
    auto *listAll = new QCheckBox(QStringLiteral("List All Packets"));
    listAll->setObjectName(QStringLiteral("Check1"));
    listAll->setChecked(gateway_.listAllPackets());
    connect(listAll, &QCheckBox::toggled, &gateway_, &Gateway::setListAllPackets);
    connect(&gateway_, &Gateway::listAllPacketsChanged, listAll, &QCheckBox::setChecked);
    static_cast<QVBoxLayout *>(frame->layout())->insertWidget(0, listAll);

    // The newest line stays in view.
    auto *view = frame->findChild<QListView *>(QStringLiteral("List2"));
    connect(&gateway_.internetList(), &TextList::rowAppended, view,
            [view] { view->scrollToBottom(); });
    view->setToolTip(QStringLiteral("Double click to see the frame"));
    return frame;
}

QGroupBox *MainWindow::listFrame(const QString &objectName, const QString &caption, TextList &list,
                                 const QString &listName)
{
    auto *frame = new QGroupBox(caption);
    frame->setObjectName(objectName);
    auto *layout = new QVBoxLayout(frame);
    auto *view = new QListView;
    view->setObjectName(listName);
    view->setModel(&list);
    view->setFont(fixedFont());
    view->setUniformItemSizes(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(view);
    return frame;
}

void MainWindow::buildReconnectNotice()
{
    // Form6: shown while the lost link waits to be tried again.
    auto *notice = new QDialog(this);
    notice->setObjectName(QStringLiteral("Form6"));
    notice->setWindowTitle(QStringLiteral("Zeno Kestrel"));
    notice->setModal(false);
    auto *layout = new QVBoxLayout(notice);
    layout->addWidget(new QLabel(QStringLiteral("Trying to Reconnect ...")));
    auto *ok = new QPushButton(QStringLiteral("&OK"));
    connect(ok, &QPushButton::clicked, notice, &QWidget::hide);
    layout->addWidget(ok, 0, Qt::AlignCenter);
    connect(&gateway_, &Gateway::reconnectNoticeChanged, notice, &QWidget::setVisible);
}

void MainWindow::buildMenus()
{
    QMenu *program = menuBar()->addMenu(QStringLiteral("&Program"));
    program->setObjectName(QStringLiteral("config"));
    QAction *setup = program->addAction(QStringLiteral("&SetUp"));
    setup->setObjectName(QStringLiteral("DXC"));
    connect(setup, &QAction::triggered, setup_, &SetupDialog::open);
    QAction *statistics = program->addAction(QStringLiteral("St&atistics"));
    statistics->setObjectName(QStringLiteral("estadistica"));
    connect(statistics, &QAction::triggered, statistics_, [this] {
        statistics_->show();
        statistics_->raise();
        statistics_->activateWindow();
    });
    program->addSeparator()->setObjectName(QStringLiteral("div1"));
    QAction *exit = program->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("Salir"));
    connect(exit, &QAction::triggered, &gateway_, [this] {
        closing_ = true;
        gateway_.exitCommand();
    });

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Ayuda_menu"));
    QAction *about = help->addAction(QStringLiteral("&About ..."));
    about->setObjectName(QStringLiteral("acerca"));
    connect(about, &QAction::triggered, this, [this] { (new AboutWindow(this))->show(); });
    help->addSeparator()->setObjectName(QStringLiteral("div2"));
    QAction *helpFile = help->addAction(QStringLiteral("&Help"));
    helpFile->setObjectName(QStringLiteral("ayu2"));
    connect(helpFile, &QAction::triggered, this, [this] { openHelp(this); });
}

QWidget *MainWindow::buildSiteLink()
{
    // Image1: a double click opens the host program's web site, when one is set.
    auto *picture = new QLabel(QStringLiteral("Zeno Kestrel"));
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setAlignment(Qt::AlignCenter);
    picture->setStyleSheet(QStringLiteral(
        "font-weight: bold; color: #1a4d80; border: 1px solid #1a4d80; padding: 4px;"));
    picture->setToolTip(QStringLiteral("Double click to Zeno web site!"));
    picture->installEventFilter(this);
    return picture;
}

void MainWindow::lookUpSelected(bool callbook)
{
    auto *heard = findChild<QListView *>(QStringLiteral("List4"));
    const QModelIndex index = heard->currentIndex();
    if (!index.isValid())
        return;
    const QString row = index.data().toString();
    const QString call = row.left(row.indexOf(QLatin1Char(' ')));
    openAddress(callbook ? callbookLookup(gateway_.services(), call)
                         : aprsLookup(gateway_.services(), call));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QString name = watched->objectName();
    if (event->type() == QEvent::MouseButtonPress && lookups_ &&
        watched == findChild<QListView *>(QStringLiteral("List4"))->viewport()) {
        auto *press = static_cast<QMouseEvent *>(event);
        auto *heard = findChild<QListView *>(QStringLiteral("List4"));
        if (press->button() == Qt::RightButton && heard->selectionModel()->hasSelection()) {
            lookups_->popup(press->globalPosition().toPoint());
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonDblClick && name == QLatin1String("Image1")) {
        if (!gateway_.services().siteUrl.isEmpty())
            openAddress(QUrl::fromUserInput(gateway_.services().siteUrl));
        return true;
    } else if ((event->type() == QEvent::Enter || event->type() == QEvent::MouseMove ||
                event->type() == QEvent::ToolTip) &&
               (name == QLatin1String("Frame10") || name == QLatin1String("Label3") ||
                name == QLatin1String("Label4"))) {
        const QString line = gateway_.texts().text(StateTexts::IssLine);
        if (!line.isEmpty())
            for (const char *n : {"Frame10", "Label3", "Label4"})
                findChild<QWidget *>(QString::fromLatin1(n))->setToolTip(line);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The gateway saves its lists and then ends the program; until then the
    // window stays.
    if (!closing_) {
        closing_ = true;
        gateway_.closeMainWindow();
    }
    event->ignore();
}

} // namespace kestrel
