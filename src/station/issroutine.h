#pragma once

#include "aprs/issobject.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <QUrl>

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
    // A service that moves its page is followed this far, and only on its
    // own host: from http to https, never back.
    static constexpr int kMaxRedirects = 3;
    static bool followsRedirect(const QUrl &from, const QUrl &to);

    // The ISS's last elevation seen from the station.
    qint16 elevation() const { return elevation_; }

private:
    void ask();
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
    QUrl at_;           // where the page is being asked for now
    int redirects_ = 0; // followed in this run
    // The run began in the once-a-minute mode: if that is off when the page
    // comes, the operator no longer wants the object on the air.
    bool modeRun_ = false;
    qint16 elevation_ = 0;
    int azimuth_ = 0; // kept when the ISS stands exactly over the station
    QString lastFailure_;
};

} // namespace kestrel
