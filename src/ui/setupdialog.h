#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;

namespace kestrel {

class Gateway;

// Form2, "SetUp": the settings record itself, in four pages. Every edit
// goes into the record at once; OK also writes kestrel.ini, Cancel only
// hides. Created once, hidden, and kept for the whole run.
class SetupDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SetupDialog(Gateway &gateway, QWidget *parent = nullptr);

    // The main window's "&SetUp": the connection fields locked while the
    // link is not down, then shown.
    void open() override;

    // "90" shows as "00h02m".
    static QString intervalText(const QString &seconds);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *serverPage();
    QWidget *sendPage();
    QWidget *igatePage();
    QWidget *miscPage();
    QLineEdit *textBox(const char *name, int field, int maxLength = 0);
    QCheckBox *checkBox(const char *name, const QString &caption, int field);
    QComboBox *comboBox(const char *name, int field, const QStringList &items);
    QLabel *label(const QString &text, const char *name = nullptr);
    void addCallSign();
    void leaveTxPort();
    void applyGreying();
    void lockConnectionFields(bool locked);

    Gateway &g_;
    QTabWidget *tabs_ = nullptr;
    QList<QWidget *> connectionFields_;
};

} // namespace kestrel
