#pragma once

#include "aprs/issobject.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

namespace kestrel {

class Gateway;

// Puts the ISS on the air as an object: fetches the look-up page without
// blocking anything else, keeps it as ISS.txt, shows where the ISS is from
// the station and hands the object to the host.
class IssRoutine : public QObject
{
    Q_OBJECT
public:
    explicit IssRoutine(Gateway &gateway);

    // Starts a run; one asked for while a fetch is under way is dropped.
    void run();
    bool running() const { return reply_ != nullptr; }

    // A page longer than this is no look-up page.
    static constexpr qint64 kMaxPage = 1 << 20;
    static constexpr int kTimeoutMs = 20000;

    // The ISS's last elevation seen from the station.
    qint16 elevation() const { return elevation_; }

private:
    void arrived();
    void finish(const QByteArray &page);
    void fail(const QString &reason);
    void restoreCaption();
    void showElevation(std::optional<int> elevation);

    Gateway &g_;
    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QByteArray page_;
    QTimer deadline_;
    bool timedOut_ = false;
    bool tooLong_ = false;
    qint16 elevation_ = 0;
    int azimuth_ = 0; // kept when the ISS stands exactly over the station
    QString lastFailure_;
};

} // namespace kestrel
