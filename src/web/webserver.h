#pragma once

#include "web/countrytable.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <memory>
#include <vector>

class QTcpSocket;

namespace kestrel {

class Gateway;

// The station's status page for anybody on the network: every connection
// that sends anything gets the page once, then is closed. Visits are
// logged with the visitor's country when the operator asks for it.
class WebServer : public QObject
{
    Q_OBJECT
public:
    explicit WebServer(Gateway &gateway);
    ~WebServer() override;

    // (Re)starts the listener from the settings: at start-up (`fromDialog`
    // false) and whenever "Enabled" changes (true). After a verified login
    // the dialog can still stop the server but no longer start it.
    void start(bool fromDialog);

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
    static constexpr int kIdleMs = 10000; // nothing received, or nothing taken, for this long
    static constexpr int kLifetimeMs = 60000;

signals:
    void checkEnabledChanged(bool enabled);

private:
    struct Connection
    {
        QTcpSocket *socket = nullptr;
        QElapsedTimer opened;
        QElapsedTimer lastProgress;
        bool answered = false;
    };

    void setState(bool on);
    void accept();
    void arrived(int slot);
    void serve(Connection &c);
    void drop(int slot);
    void sweep();
    int freeSlot();
    QByteArray page(const QString &visitor);
    void logVisit(const QString &visitor);

    Gateway &g_;
    QTcpServer listener_;
    QHostAddress bind_;
    QHash<int, Connection> connections_;
    std::vector<int> freeSlots_;
    int highestSlot_ = 0;
    QTimer sweeper_;
    bool checkEnabled_ = false;
    QByteArray template_; // the template as last read, and the file it was read from
    QString templatePath_;
    qint64 templateSize_ = -1;
    QDateTime templateModified_;
    QByteArray tables_; // the page's tables as last built; empty when a list has changed
    QString tablesHost_;
    std::unique_ptr<CountryTable> countries_;
    QString countriesPath_;
};

} // namespace kestrel
