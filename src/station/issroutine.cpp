#include "station/issroutine.h"

#include "core/activitylog.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/programfolder.h"
#include "core/services.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "host/hostmailbox.h"
#include "station/satellites.h"

#include <QNetworkReply>
#include <cmath>

namespace kestrel {

namespace {

const QString kCaption = QStringLiteral("ISS Position Object");

} // namespace

IssRoutine::IssRoutine(const Settings &settings, StateTexts &texts, ActivityLog &log, Clock &clock,
                       const ProgramFolder &folder, const Services &services, HostMailbox &mailbox,
                       const Satellites &satellites, IssTimers timers)
    : settings_(settings), texts_(texts), log_(log), clock_(clock), folder_(folder),
      services_(services), mailbox_(mailbox), satellites_(satellites), timers_(timers)
{
    deadline_.setSingleShot(true);
    deadline_.setInterval(kTimeoutMs);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        timedOut_ = true;
        if (reply_)
            reply_->abort();
    });
}

void IssRoutine::run()
{
    if (reply_)
        return;
    const bool plus = texts_.text(StateTexts::IssCaption).startsWith(QLatin1Char('+'));
    texts_.set(StateTexts::IssCaption, (plus ? QStringLiteral("+") : QString()) + kCaption +
                                           QStringLiteral(" > Searching ..."));
    timerswitch::disable(timers_.Timer16);

    timedOut_ = false;
    tooLong_ = false;
    redirects_ = 0;
    modeRun_ = settings_.isOn(Settings::IssObject);
    if (services_.issSource == Services::IssSource::Elements)
        return fromElements({});
    at_ = Services::address(services_.aprsLookupHost, QStringLiteral("/cgi-bin/find.cgi?ISS"));
    ask();
    // For the whole run, redirects and all.
    deadline_.start();
}

void IssRoutine::ask()
{
    page_.clear();
    QNetworkRequest request(at_);
    // Redirects are followed here, where their number and their host are
    // checked.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Kestrel"));
    reply_ = network_.get(request);
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        page_ += reply_->read(kMaxPage + 1 - page_.size());
        if (page_.size() > kMaxPage) {
            tooLong_ = true;
            reply_->abort(); // finishes the reply at once
        }
    });
    connect(reply_, &QNetworkReply::finished, this, &IssRoutine::arrived);
}

bool IssRoutine::followsRedirect(const QUrl &from, const QUrl &to)
{
    const bool sameScheme = to.scheme() == from.scheme();
    const bool upgrade =
        from.scheme() == QLatin1String("http") && to.scheme() == QLatin1String("https");
    return (sameScheme || upgrade) && !to.host().isEmpty() &&
           to.host().compare(from.host(), Qt::CaseInsensitive) == 0;
}

void IssRoutine::arrived()
{
    QNetworkReply *reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    if (!tooLong_ && !timedOut_)
        page_ += reply->read(kMaxPage + 1 - page_.size());
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (!timedOut_ && !tooLong_ && reply->error() == QNetworkReply::NoError && status >= 300 &&
        status <= 399 && target.isValid()) {
        const QUrl to = at_.resolved(target);
        if (++redirects_ <= kMaxRedirects && followsRedirect(at_, to)) {
            at_ = to;
            return ask();
        }
        deadline_.stop();
        if (redirects_ > kMaxRedirects)
            return lookupFailed(QStringLiteral("the look-up service redirected more than %1 times")
                                    .arg(kMaxRedirects));
        return lookupFailed(QStringLiteral("the look-up service sent the station from %1 to %2")
                                .arg(at_.toString(), to.toString()));
    }
    deadline_.stop();
    if (timedOut_)
        return lookupFailed(
            QStringLiteral("the look-up service gave no page within %1 s").arg(kTimeoutMs / 1000));
    if (tooLong_ || page_.size() > kMaxPage)
        return lookupFailed(
            QStringLiteral("the look-up page is longer than %1 bytes").arg(kMaxPage));
    if (reply->error() != QNetworkReply::NoError)
        return lookupFailed(QStringLiteral("the look-up service failed: ") + reply->errorString());
    if (status < 200 || status > 299)
        return lookupFailed(QStringLiteral("the look-up service answered HTTP %1").arg(status));
    finish(page_);
}

void IssRoutine::finish(const QByteArray &page)
{
    const QString copy = folder_.resolve(QStringLiteral("\\ISS.txt"));
    const QString error = files::replaceFile(copy, page);
    if (!error.isEmpty())
        log_.logError(QStringLiteral("Files"),
                      QStringLiteral("could not save %1: %2").arg(copy, error));

    QString why;
    const std::optional<position::Text> fix = iss::positionFromPage(page, &why);
    if (!fix)
        return lookupFailed(why);
    lastFailure_.clear();

    show(*fix, std::nullopt, std::nullopt);
}

void IssRoutine::fromElements(const QString &lookupFailure)
{
    const auto seen = satellites_.sighting(QStringLiteral("ISS"), clock_.now());
    if (!seen) {
        const QString why = QStringLiteral("no position of the ISS from elements.txt (no set "
                                           "for it, or no own position)");
        return fail(lookupFailure.isEmpty() ? why : lookupFailure + QStringLiteral("; ") + why);
    }
    // Two weeks on, the ISS may be far from where they put it: not on the air.
    if (seen->stale) {
        const QString why = QStringLiteral("the ISS's elements in elements.txt are more than "
                                           "%1 days old; nothing is sent until they are renewed")
                                .arg(Satellites::kStaleDays);
        return fail(lookupFailure.isEmpty() ? why : lookupFailure + QStringLiteral("; ") + why);
    }
    // A look-up that stays down is said once, not every minute.
    if (!lookupFailure.isEmpty() && lookupFailure != lastFailure_)
        log_.logError(QStringLiteral("ISS"),
                      lookupFailure + QStringLiteral("; the position comes from the elements"));
    lastFailure_ = lookupFailure;
    show(position::fromDegrees(seen->under.latitudeDeg, seen->under.longitudeDeg),
         static_cast<int>(std::lround(seen->look.azimuthDeg)) % 360,
         static_cast<int>(std::lround(seen->look.elevationDeg)));
}

void IssRoutine::show(const position::Text &fix, std::optional<int> azimuth,
                      std::optional<int> elevation)
{
    restoreCaption();
    if (texts_.text(StateTexts::IssCaption).startsWith(QLatin1Char('+'))) {
        setProgress(1);
        timerswitch::enable(timers_.Timer16);
    }

    const QTime utc = clock_.now().toUTC().time();
    texts_.set(StateTexts::IssObject, iss::displayText(fix, utc));

    // From the elements, where the ISS stands is computed; from a look-up,
    // it is estimated from the point beneath it.
    const QString own = settings_.text(Settings::InternetBeaconText).mid(1, 18);
    const std::optional<position::Bearing> bearing = position::distance(own, fix);
    if (!elevation)
        elevation = position::elevation(own, fix);
    if (!azimuth && bearing)
        azimuth = bearing->degrees;
    if (bearing && elevation) {
        if (azimuth)
            azimuth_ = *azimuth;
        elevation_ = static_cast<qint16>(*elevation);
        texts_.set(StateTexts::IssLine, iss::line(bearing->km, azimuth_, *elevation));
    } else {
        // Without a position of its own the station cannot tell where the ISS stands.
        texts_.set(StateTexts::IssLine, QString());
    }
    showElevation(bearing ? elevation : std::nullopt);

    if (modeRun_ && !settings_.isOn(Settings::IssObject))
        return;
    if (!settings_.isOn(Settings::IssObjectOnly) || (bearing && elevation && *elevation >= 0))
        mailbox_.transmitText(iss::objectText(fix, utc));
}

void IssRoutine::lookupFailed(const QString &reason)
{
    if (services_.issSource == Services::IssSource::Both)
        return fromElements(reason);
    fail(reason);
}

void IssRoutine::fail(const QString &reason)
{
    restoreCaption();
    texts_.set(StateTexts::IssObject, QStringLiteral(" > WEB Error!"));
    // A service that stays down is said once, not every minute.
    if (reason != lastFailure_)
        log_.logError(QStringLiteral("ISS"), reason);
    lastFailure_ = reason;
}

void IssRoutine::restoreCaption()
{
    const bool plus = texts_.text(StateTexts::IssCaption).startsWith(QLatin1Char('+'));
    texts_.set(StateTexts::IssCaption, plus ? QLatin1Char('+') + kCaption : kCaption);
}

void IssRoutine::showElevation(std::optional<int> elevation)
{
    const bool above = elevation && *elevation >= 0;
    setAbove(above);
    if (above) {
        timerswitch::enable(timers_.Timer15);
    } else {
        timerswitch::disable(timers_.Timer15);
        setLampVisible(false);
    }
}

void IssRoutine::switched(bool on)
{
    if (on) {
        timerswitch::enable(timers_.Timer14);
        timerswitch::enable(timers_.Timer16);
    } else {
        timerswitch::disable(timers_.Timer14);
        timerswitch::disable(timers_.Timer16);
    }
    setProgress(1);
    setBarVisible(on);
    texts_.set(StateTexts::IssObject, QString());
    texts_.set(StateTexts::IssLine, QString());
    texts_.set(StateTexts::IssCaption, on ? QLatin1Char('+') + kCaption : kCaption);
}

void IssRoutine::confirmed(bool on)
{
    if (on) {
        timerswitch::enable(timers_.Timer14);
        texts_.set(StateTexts::IssCaption, QLatin1Char('+') + kCaption);
    } else {
        timerswitch::disable(timers_.Timer14);
        texts_.set(StateTexts::IssCaption, kCaption);
        texts_.set(StateTexts::IssLine, QString());
    }
}

void IssRoutine::lampTick()
{
    setLampVisible(!lampVisible_);
}

void IssRoutine::progressTick()
{
    setProgress(progress_ + 16.66);
}

void IssRoutine::setProgress(double width)
{
    progress_ = width;
    emit progressChanged(width);
}

void IssRoutine::setBarVisible(bool visible)
{
    if (barVisible_ == visible)
        return;
    barVisible_ = visible;
    emit barVisibleChanged(visible);
}

void IssRoutine::setLampVisible(bool visible)
{
    if (lampVisible_ == visible)
        return;
    lampVisible_ = visible;
    emit lampVisibleChanged(visible);
}

void IssRoutine::setAbove(bool above)
{
    if (above_ == above)
        return;
    above_ = above;
    emit aboveChanged(above);
}

} // namespace kestrel
