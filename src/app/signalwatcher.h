#pragma once

#include <QObject>

class QSocketNotifier;

namespace kestrel {

// Turns SIGINT, SIGTERM, SIGHUP (a closed terminal) and SIGUSR1 into Qt
// signals on the main thread.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    // SIGINT, SIGTERM or SIGHUP, by name.
    void terminate(const QString &name);
    void user1();

private:
    void readSignal();
    QSocketNotifier *notifier_ = nullptr;
};

} // namespace kestrel
