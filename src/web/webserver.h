#pragma once

#include "web/pagesource.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

namespace kestrel {

class ActivityLog;
class Clock;
class ProgramFolder;
class Settings;
class StateTexts;
class TextList;
class WebConnection;
struct Services;

// The station's status page for anybody on the network: every connection
// that sends anything gets the page once, then is closed. Visits are
// logged with the visitor's country when the operator asks for it.
class WebServer : public QObject
{
    Q_OBJECT
public:
    WebServer(Settings &settings, StateTexts &texts, ActivityLog &log, const Clock &clock,
              const ProgramFolder &folder, const TextList &mheard, const TextList &igated,
              const Services &services);

    // (Re)starts the listener from the settings: at start-up (`fromDialog`
    // false) and whenever "Enabled" changes (true). With `mayStart` false
    // it only stops: after a verified login the dialog can still stop the
    // server but no longer start it.
    void start(bool fromDialog, bool mayStart = true);

    bool listening() const { return listener_.isListening(); }
    quint16 port() const { return listener_.serverPort(); }
    // The address the settings dialog shows and builds its "Check" link from.
    QString localAddress() const;
    // The dialog's "Check" button.
    bool checkEnabled() const { return checkEnabled_; }
    void setCheckEnabled(bool enabled);

    // Listen on this address only (every interface when null).
    void setBindAddress(const QHostAddress &address) { bind_ = address; }

    int openConnections() const { return static_cast<int>(connections_.size()); }

    static constexpr int kMaxConnections = 256;

signals:
    void checkEnabledChanged(bool enabled);
    // Something the operator must read: why the server stays off.
    void notice(const QString &message);

private:
    void setState(bool on);
    void refuse(const QString &why);
    void accept();

    Settings &settings_;
    StateTexts &texts_;
    ActivityLog &log_;
    PageSource pages_;
    QTcpServer listener_;
    QHostAddress bind_;
    QList<WebConnection *> connections_; // open ones, oldest first
    bool checkEnabled_ = false;
};

} // namespace kestrel
