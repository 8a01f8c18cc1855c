#pragma once

#include "core/services.h"
#include "orbit/passes.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <optional>
#include <vector>

namespace kestrel {

class ActivityLog;
class Clock;
class ProgramFolder;
class Settings;
class StateTexts;

// The satellites the station follows, computed from their orbital elements:
// elements.txt in the program folder (read again when it changes, fetched
// once a day from the services' elements_url when one is set), the next
// passes over the station, where a satellite stands now, and a report of
// each pass when it ends (Logs_Kestrel/passes.txt).
class Satellites : public QObject
{
    Q_OBJECT
public:
    Satellites(const Settings &settings, const Services &services, StateTexts &texts,
               ActivityLog &log, Clock &clock, const ProgramFolder &folder);

    // A pass over the station, with what was heard through the satellite.
    struct Pass
    {
        QString satellite;
        QString call; // its digipeater call; empty: none
        orbit::Pass times;
        bool stale = false; // computed from elements more than kStaleDays old
        int frames = 0;     // heard through its digipeater call
        QSet<QString> stations;
        int gated = 0;
        double countedFrom = 0; // taken up after its rise: counted from then only
    };

    // Where a satellite stands now as seen from the station.
    struct Sighting
    {
        orbit::Subpoint under;
        orbit::Look look;
        bool stale = false;
    };

    // Start-up: the elements read, passes computed, the minute checks begun.
    void start();
    // The regular check (kTickMs): elements.txt changed, a fetch due, a pass
    // begun or ended, the list of passes renewed.
    void tick();
    // A frame heard on RF, and whether it was gated.
    void heard(const QString &monitorText, bool gated);

    // The passes of the coming kHours, every followed satellite, by rise.
    const std::vector<Pass> &nextPasses() const { return next_; }
    const std::optional<Pass> &lastPass() const { return last_; }
    bool fetching() const { return reply_ != nullptr; }
    std::optional<Sighting> sighting(const QString &satellite, const QDateTime &at) const;

    // What the operator is told of element sets read for the satellites
    // followed: the problems of their sets (and of lines in no set), how
    // many other sets were unusable, each followed satellite without a set.
    static QStringList elementsProblems(const orbit::ReadResult &read,
                                        const QList<Services::Satellite> &followed);

    // One pass as a line: "ISS 07-12-26 14:32:10 to 14:43:01, highest 45.3° at 14:37:02".
    QString passLine(const Pass &p) const;

    static constexpr int kTickMs = 10000;
    static constexpr double kHours = 24;
    static constexpr double kStaleDays = 14;
    static constexpr int kFetchTimeoutMs = 20000;
    static constexpr qint64 kMaxElementsFile = 1 << 20;

signals:
    void passesChanged();
    void passEnded(const kestrel::Satellites::Pass &pass);

private:
    struct Followed
    {
        Services::Satellite wanted;
        std::optional<orbit::Propagator> propagator;
        std::optional<Pass> current; // the pass under way
        double reportedSet = 0;      // the set of the last pass reported
    };

    double nowUnix() const;
    // The 18 characters of the beacon's position: where the passes are for.
    QString ownPosition() const;
    std::optional<orbit::Station> station() const;
    bool readElements(); // whether the file changed
    void computePasses();
    void trackPasses();
    void report(const Pass &pass);
    void startFetch();
    void fetched();
    void showTexts();
    bool stale(const orbit::Elements &e) const;

    const Settings &settings_;
    const Services &services_;
    StateTexts &texts_;
    ActivityLog &log_;
    Clock &clock_;
    const ProgramFolder &folder_;
    QTimer timer_;
    std::vector<Followed> followed_;
    std::vector<Pass> next_;
    std::optional<Pass> last_;
    double computedAt_ = 0;
    QString elementsPath_;
    QDateTime elementsModified_;
    qint64 elementsSize_ = -1;
    QString ownPosition_; // the position the passes were computed for
    // The daily fetch.
    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QByteArray page_;
    QTimer deadline_;
    double fetchedAt_ = 0;
    QString fetchFailure_; // the last failure said
};

} // namespace kestrel
