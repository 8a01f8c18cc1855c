#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

class QTcpSocket;

namespace kestrel {

class PageSource;

// One visitor's connection: whatever it sends is drained, the first thing
// it sends is answered with the page, and it is closed when the page is
// out, when it stalls, or when it has lasted too long. It deletes itself.
class WebConnection : public QObject
{
    Q_OBJECT
public:
    // Takes the socket over.
    WebConnection(QTcpSocket *socket, PageSource &pages, QObject *parent = nullptr);

    // True once the visitor has asked: the page is on its way.
    bool answered() const { return answered_; }

    // The socket's readyRead.
    void arrived();
    // The watchdog's tick: closes the connection once it is idle or too old.
    void watch();
    // Drops the connection at once, whatever is still unsent.
    void close();

    static constexpr int kIdleMs = 10000; // nothing received, or nothing taken, for this long
    static constexpr int kLifetimeMs = 60000;

signals:
    // Emitted once, when the connection goes; it is deleted soon after.
    void closed();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    QTcpSocket *socket_;
    PageSource &pages_;
    QElapsedTimer opened_;
    QElapsedTimer lastProgress_;
    // One timer for both limits, so that progress only restarts a clock.
    QBasicTimer watchdog_;
    bool answered_ = false;
    bool closed_ = false;
};

} // namespace kestrel
