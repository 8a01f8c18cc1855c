#pragma once

#include "core/statetexts.h"

#include <QDialog>
#include <QMessageBox>
#include <QUrl>
#include <array>

class QLabel;
class QPushButton;

namespace kestrel {

class Gateway;
struct Services;

// A message box that never holds up the rest of the program: timers and
// sockets run on while it is open. It deletes itself when closed.
QMessageBox *showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &text);

// Hands an address to the desktop: the browser, or the program for a file.
void openAddress(const QUrl &url);

// A station on the APRS look-up service, SSID and all.
QUrl aprsLookup(const Services &s, const QString &call);
// A station in the call book: the call without its SSID.
QUrl callbookLookup(const Services &s, const QString &call);
// A service's host as the operator knows it: the name alone, without scheme
// or port.
QString serviceName(const QString &host);

// The operator's help: on Windows "Zeno Kestrel.chm" in the working
// directory, elsewhere help.html beside the program, in the browser. When it
// is missing a message says where it was looked for.
void openHelp(QWidget *parent = nullptr);

// Form5: one frame of the Internet packet list, with look-ups of its sender.
class FrameWindow : public QDialog
{
    Q_OBJECT
public:
    explicit FrameWindow(const Services &services, QWidget *parent = nullptr);

    // The list shows a frame as two rows, the address part ending in ":"
    // and then the information; either row gives the whole frame.
    static QString frameAt(const QStringList &rows, int row);

    // Label1 always shows the frame; a frame with a sender also brings the
    // window up with its look-ups.
    void showFrame(const QString &frame);

private:
    const Services &services_;
    QString source_;
    QLabel *frame_;
    QPushButton *callbook_;
    QPushButton *aprs_;
};

// Form7: the traffic counters and the ports in use, that is the ports the
// host was last told: at start-up and at each OK of the setup dialog.
class StatisticsWindow : public QDialog
{
    Q_OBJECT
public:
    explicit StatisticsWindow(const Gateway &gateway, QWidget *parent = nullptr);

private:
    void showPorts();

    const Gateway &gateway_;
    std::array<QLabel *, StateTexts::CounterCount> counters_{};
    QLabel *rfPort_;
    QLabel *inetPort_;
};

// frmAbout: made anew each time, gone when closed.
class AboutWindow : public QDialog
{
    Q_OBJECT
public:
    explicit AboutWindow(QWidget *parent = nullptr);

private:
    void startSystemInfo();
};

} // namespace kestrel
