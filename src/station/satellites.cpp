#include "station/satellites.h"

#include "aprs/position.h"
#include "core/activitylog.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/programfolder.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "host/monitortext.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace kestrel {

namespace {

const QString kElements = QStringLiteral("\\elements.txt");
constexpr double kDay = 86400;

// A set's name as the element files give it ("SAUDISAT 1C (SO-50)") answers
// to the whole of it, the part before the brackets, or the part inside.
bool namedAs(const std::string &setName, const QString &wanted)
{
    const QString name = QString::fromStdString(setName).trimmed();
    const qsizetype open = name.indexOf(QLatin1Char('('));
    QStringList forms{name};
    if (open > 0 && name.endsWith(QLatin1Char(')')))
        forms << name.left(open).trimmed() << name.mid(open + 1, name.size() - open - 2).trimmed();
    for (const QString &form : forms)
        if (form.compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QDateTime local(double unixSeconds)
{
    return QDateTime::fromMSecsSinceEpoch(std::llround(unixSeconds * 1000));
}

} // namespace

Satellites::Satellites(const Settings &settings, const Services &services, StateTexts &texts,
                       ActivityLog &log, Clock &clock, const ProgramFolder &folder)
    : settings_(settings), services_(services), texts_(texts), log_(log), clock_(clock),
      folder_(folder)
{
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &Satellites::tick);
    deadline_.setSingleShot(true);
    deadline_.setInterval(kFetchTimeoutMs);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (reply_)
            reply_->abort();
    });
}

double Satellites::nowUnix() const
{
    return clock_.now().toMSecsSinceEpoch() / 1000.0;
}

QString Satellites::ownPosition() const
{
    return settings_.text(Settings::InternetBeaconText).mid(1, 18);
}

std::optional<orbit::Station> Satellites::station() const
{
    const auto degrees = position::signedDegrees(ownPosition());
    if (!degrees)
        return std::nullopt;
    return orbit::Station{degrees->first, degrees->second, 0};
}

void Satellites::start()
{
    followed_.clear();
    for (const Services::Satellite &s : services_.satellites)
        followed_.push_back({s, std::nullopt, std::nullopt});
    const QFileInfo info(folder_.resolve(kElements));
    // A file fetched within the day is not fetched again at start.
    if (const qint64 age = info.lastModified().secsTo(clock_.now());
        info.exists() && age >= 0 && age < kDay)
        fetchedAt_ = info.lastModified().toMSecsSinceEpoch() / 1000.0;
    readElements();
    computePasses();
    timer_.start();
    tick();
}

void Satellites::tick()
{
    // A clock set back makes what was due in its future due now.
    const double now = nowUnix();
    if (!services_.elementsUrl.isEmpty() && !reply_ &&
        (now - fetchedAt_ >= kDay || now < fetchedAt_))
        startFetch();
    const bool changed = readElements();
    trackPasses();
    if (changed || ownPosition() != ownPosition_ || now - computedAt_ >= 3600 ||
        now < computedAt_ || (!next_.empty() && next_.front().times.setUnix < now))
        computePasses();
}

bool Satellites::stale(const orbit::Elements &e) const
{
    return e.ageDays(nowUnix()) > kStaleDays;
}

QStringList Satellites::elementsProblems(const orbit::ReadResult &read,
                                         const QList<Services::Satellite> &followed)
{
    QStringList lines;
    // A set nobody follows is counted, not said: a published list holds many.
    int others = 0;
    for (const std::string &problem : read.problems) {
        const std::size_t comma = problem.find(", line");
        if (comma == std::string::npos ||
            std::any_of(followed.begin(), followed.end(), [&](const Services::Satellite &f) {
                return namedAs(problem.substr(0, comma), f.name);
            }))
            lines << QStringLiteral("elements.txt: ") +
                         text::printable(QString::fromStdString(problem));
        else
            ++others;
    }
    if (others > 0)
        lines << QStringLiteral("elements.txt: %1 sets of satellites not followed were skipped "
                                "as unusable")
                     .arg(others);
    for (const Services::Satellite &f : followed)
        if (std::none_of(read.sets.begin(), read.sets.end(),
                         [&](const orbit::Elements &e) { return namedAs(e.name, f.name); }))
            lines << QStringLiteral("elements.txt holds no set for %1; its passes are not "
                                    "computed")
                         .arg(f.name);
    return lines;
}

bool Satellites::readElements()
{
    const QString path = folder_.resolve(kElements);
    const QFileInfo info(path);
    if (path == elementsPath_ && info.size() == elementsSize_ &&
        info.lastModified() == elementsModified_)
        return false;
    elementsPath_ = path;
    elementsSize_ = info.size();
    elementsModified_ = info.lastModified();
    for (Followed &f : followed_)
        f.propagator.reset();
    QFile file(path);
    if (!info.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        log_.logError(QStringLiteral("Elements"),
                      QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return true;
    }
    const QByteArray content = file.read(kMaxElementsFile);
    const orbit::ReadResult read =
        orbit::readElements(std::string_view(content.constData(), std::size_t(content.size())));
    for (const QString &problem : elementsProblems(read, services_.satellites))
        log_.logError(QStringLiteral("Elements"), problem);
    for (Followed &f : followed_) {
        // The newest set of that name.
        const orbit::Elements *best = nullptr;
        for (const orbit::Elements &e : read.sets)
            if (namedAs(e.name, f.wanted.name) && (!best || e.epochUnix > best->epochUnix))
                best = &e;
        if (best)
            f.propagator.emplace(*best);
    }
    return true;
}

void Satellites::computePasses()
{
    const double now = nowUnix();
    computedAt_ = now;
    ownPosition_ = ownPosition();
    next_.clear();
    const auto here = station();
    if (here)
        for (const Followed &f : followed_) {
            if (!f.propagator)
                continue;
            for (const orbit::Pass &p : orbit::passes(*f.propagator, *here, now, kHours))
                next_.push_back({f.wanted.name,
                                 f.wanted.call,
                                 p,
                                 stale(f.propagator->elements()),
                                 0,
                                 {},
                                 0,
                                 0});
        }
    std::sort(next_.begin(), next_.end(),
              [](const Pass &a, const Pass &b) { return a.times.riseUnix < b.times.riseUnix; });
    // The pass under way keeps what it counted and takes the new times.
    for (Followed &f : followed_)
        for (const Pass &p : next_)
            if (f.current && p.satellite == f.wanted.name &&
                p.times.riseUnix <= f.current->times.setUnix &&
                p.times.setUnix >= f.current->times.riseUnix)
                f.current->times = p.times;
    showTexts();
    emit passesChanged();
}

void Satellites::trackPasses()
{
    const double now = nowUnix();
    for (Followed &f : followed_) {
        if (f.current && now > f.current->times.setUnix) {
            f.reportedSet = f.current->times.setUnix;
            report(*f.current);
            f.current.reset();
        }
        if (f.current)
            continue;
        for (const Pass &p : next_)
            if (p.satellite == f.wanted.name && p.times.riseUnix <= now && now <= p.times.setUnix &&
                p.times.riseUnix > f.reportedSet) {
                f.current = p;
                // Taken up after its rise (at start): counted from now only.
                if (now - p.times.riseUnix > kTickMs / 1000.0)
                    f.current->countedFrom = now;
            }
    }
}

void Satellites::heard(const QString &monitorText, bool gated)
{
    // To the second, not to the last tick.
    trackPasses();
    const auto m = MonitorText::parse(monitorText);
    if (!m)
        return;
    const QStringList via = m->via.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (Followed &f : followed_)
        if (f.current && !f.current->call.isEmpty() &&
            via.contains(f.current->call + QLatin1Char('*'))) {
            ++f.current->frames;
            f.current->stations.insert(m->source);
            if (gated)
                ++f.current->gated;
        }
}

QString Satellites::passLine(const Pass &p) const
{
    return QStringLiteral("%1 %2 to %3, highest %4\u00b0 at %5%6")
        .arg(p.satellite, text::stamp(local(p.times.riseUnix)),
             local(p.times.setUnix).toString(QStringLiteral("HH:mm:ss")))
        .arg(p.times.maxElevationDeg, 0, 'f', 1)
        .arg(local(p.times.maxUnix).toString(QStringLiteral("HH:mm:ss")),
             p.stale ? QStringLiteral(" (stale elements)") : QString());
}

void Satellites::report(const Pass &pass)
{
    const QString line =
        passLine(pass) +
        QStringLiteral(": %1 frames through %2, %3 stations, %4 gated")
            .arg(pass.frames)
            .arg(pass.call.isEmpty() ? QStringLiteral("no call") : pass.call)
            .arg(pass.stations.size())
            .arg(pass.gated) +
        (pass.countedFrom > 0
             ? QStringLiteral(" (counted from %1)")
                   .arg(local(pass.countedFrom).toString(QStringLiteral("HH:mm:ss")))
             : QString());
    log_.appendLog(QStringLiteral("\\Logs_Kestrel\\passes.txt"), {line});
    last_ = pass;
    texts_.set(StateTexts::LastPass, line);
    emit passEnded(pass);
}

void Satellites::showTexts()
{
    const double now = nowUnix();
    QStringList lines;
    for (const Pass &p : next_)
        if (p.times.setUnix >= now)
            lines << passLine(p);
    texts_.set(StateTexts::NextPass, lines.value(0));
    texts_.set(StateTexts::Passes, lines.join(QLatin1Char('\n')));
}

std::optional<Satellites::Sighting> Satellites::sighting(const QString &satellite,
                                                         const QDateTime &at) const
{
    const auto here = station();
    for (const Followed &f : followed_) {
        if (f.wanted.name.compare(satellite, Qt::CaseInsensitive) != 0 || !f.propagator || !here)
            continue;
        const double t = at.toMSecsSinceEpoch() / 1000.0;
        const auto state = f.propagator->at(t);
        if (!state)
            return std::nullopt;
        return Sighting{orbit::subpoint(state->positionKm, t), orbit::look(*here, *state, t),
                        stale(f.propagator->elements())};
    }
    return std::nullopt;
}

void Satellites::startFetch()
{
    fetchedAt_ = nowUnix();
    page_.clear();
    QNetworkRequest request{QUrl(services_.elementsUrl)};
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Kestrel"));
    reply_ = network_.get(request);
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        page_ += reply_->read(kMaxElementsFile + 1 - page_.size());
        if (page_.size() > kMaxElementsFile)
            reply_->abort();
    });
    connect(reply_, &QNetworkReply::finished, this, &Satellites::fetched);
    deadline_.start();
}

void Satellites::fetched()
{
    QNetworkReply *reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    const bool timedOut = !deadline_.isActive();
    deadline_.stop();
    const QString url = services_.elementsUrl;
    const QByteArray page = std::exchange(page_, QByteArray());
    const auto fail = [&](const QString &why) {
        // A list that stays away is said once, not every hour.
        if (why != fetchFailure_)
            log_.logError(QStringLiteral("Elements"),
                          QStringLiteral("%1: %2; elements.txt is kept as it is").arg(url, why));
        fetchFailure_ = why;
        // Tried again in an hour, not a day (the network may not have been up).
        fetchedAt_ = nowUnix() - kDay + 3600;
    };
    if (page.size() > kMaxElementsFile)
        return fail(QStringLiteral("longer than %1 bytes").arg(kMaxElementsFile));
    if (timedOut)
        return fail(QStringLiteral("no answer within %1 s").arg(kFetchTimeoutMs / 1000));
    if (reply->error() != QNetworkReply::NoError)
        return fail(reply->errorString());
    const QByteArray whole = page + reply->read(kMaxElementsFile + 1 - page.size());
    const orbit::ReadResult read =
        orbit::readElements(std::string_view(whole.constData(), std::size_t(whole.size())));
    if (whole.size() > kMaxElementsFile)
        return fail(QStringLiteral("longer than %1 bytes").arg(kMaxElementsFile));
    if (read.sets.empty())
        return fail(QStringLiteral("no element set in what came"));
    // A satellite followed now is not lost to a list without it.
    for (const Followed &f : followed_)
        if (f.propagator &&
            std::none_of(read.sets.begin(), read.sets.end(),
                         [&](const orbit::Elements &e) { return namedAs(e.name, f.wanted.name); }))
            return fail(QStringLiteral("no set for %1 in what came").arg(f.wanted.name));
    const QString error = files::replaceFile(folder_.resolve(kElements), whole);
    if (!error.isEmpty())
        return fail(error);
    fetchFailure_.clear();
    if (readElements())
        computePasses();
}

} // namespace kestrel
