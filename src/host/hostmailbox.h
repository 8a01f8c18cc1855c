#pragma once

#include "host/mailbox/store.h"

#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QTimer>

namespace kestrel {

// The gateway's side of the host mailbox: what it reads from the host and the
// commands it hands it. A command is written after the values it refers to.
// Commands are handed over one at a time with a short gap between them, and
// transmit texts at least two seconds apart, because the host holds one
// command and one transmit text at a time and must have read each before the
// next replaces it.
class HostMailbox : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCommandGapMs = 200;
    static constexpr int kTransmitGapMs = 2000;

    explicit HostMailbox(mailbox::Store &store, QObject *parent = nullptr);

    // The primitives, on keys under the current user. A value that cannot be
    // read reads as an empty text.
    QString get(const QString &key, const QString &name) const;
    bool set(const QString &key, const QString &name, const QString &value);

    // Why the mailbox cannot be read at all just now, or an empty text.
    QString problem() const;

    // What the host writes.
    QString receivedFrame() const;
    QString hostStatus() const; // lowered
    QString myCall() const;
    QString hostPath() const;

    // Commands to the host, in order.
    void transmitText(const QString &text);
    void setTransmitAddressing(const QString &unprotoPath);
    void selectPorts(const QString &rfPortIGate, const QString &igateRfPort);
    void announce();

    struct Ports
    {
        int rx;
        int tx;
    };
    // "All" receives on every port (7); a transmit port 0 means the receive port.
    static Ports portSelection(const QString &rfPortIGate, const QString &igateRfPort);

    // Nothing waits to be handed to the host.
    bool idle() const { return queue_.isEmpty(); }
    // Hands over everything waiting now, without the gaps.
    void flush();
    // Drops what waits; returns what each dropped command was.
    QStringList discardPending();

    static const QString kRxData, kStatus, kMyCall, kPath, kTxData, kCommand;

signals:
    // A command word was written, with the values it refers to, as
    // "CHANGEPORT rxp=7 txp=7"; for the operator's view of the exchange.
    void commandWritten(const QString &summary);
    // A value could not be stored.
    void writeFailed(const QString &key, const QString &name);

private:
    struct Write
    {
        QString key;
        QString name;
        QString value;
    };
    struct Item
    {
        QList<Write> writes;
        QString command; // empty: values only
        QString summary;
    };
    void enqueue(Item item);
    void pump();
    qint64 waitBefore(const Item &item) const;
    void writeItem(const Item &item);

    mailbox::Store &store_;
    QQueue<Item> queue_;
    QTimer pacer_;
    QElapsedTimer sinceCommand_;
    QElapsedTimer sinceTransmit_;
};

} // namespace kestrel
