#pragma once

#include <QMainWindow>

class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QCheckBox;
class QGroupBox;

namespace kestrel {

class Gateway;
class TextList;

// Form1: the gateway's one permanent window. It shows the gateway's lists
// and state texts and passes the operator's commands on; it holds no state
// of its own.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(Gateway &gateway, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

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

    Gateway &gateway_;
    bool closing_ = false;
};

} // namespace kestrel
