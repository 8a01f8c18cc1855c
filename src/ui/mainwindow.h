#pragma once

#include <QMainWindow>

class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QCheckBox;
class QGroupBox;
class QMenu;

namespace kestrel {

class FrameWindow;
class Gateway;
class SetupDialog;
class StatisticsWindow;
class TextList;

// Form1: the gateway's one permanent window. It shows the gateway's lists
// and state texts and passes the operator's commands on; it holds no state
// of its own.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(Gateway &gateway, QWidget *parent = nullptr);

    SetupDialog *setupDialog() const { return setup_; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildIssFrame();
    QWidget *buildPositionsFrame();
    QWidget *buildServerFrame();
    QWidget *buildInternetFrame();
    QGroupBox *listFrame(const QString &objectName, const QString &caption, TextList &list,
                         const QString &listName);
    QLabel *boundLabel(const QString &objectName, int text);
    void buildMenus();
    void buildReconnectNotice();
    QWidget *buildSiteLink();
    void lookUpSelected(bool callbook);

    Gateway &gateway_;
    SetupDialog *setup_ = nullptr;
    StatisticsWindow *statistics_ = nullptr;
    FrameWindow *frameWindow_ = nullptr;
    QMenu *lookups_ = nullptr;
    bool closing_ = false;
};

} // namespace kestrel
