#include "station/issroutine.h"

#include "core/files.h"
#include "station/gateway.h"
#include "core/text.h"

#include <QNetworkReply>

namespace kestrel {

namespace {

const QString kCaption = QStringLiteral("ISS Position Object");

} // namespace

IssRoutine::IssRoutine(Gateway &gateway) : g_(gateway)
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
    const bool plus = g_.texts.text(StateTexts::IssCaption).startsWith(QLatin1Char('+'));
    g_.texts.set(StateTexts::IssCaption, (plus ? QStringLiteral("+") : QString()) + kCaption +
                                             QStringLiteral(" > Searching ..."));
    Gateway::disable(g_.Timer16);

    timedOut_ = false;
    tooLong_ = false;
    redirects_ = 0;
    modeRun_ = g_.settings.isOn(Settings::IssObject);
    at_ = Services::address(g_.services.aprsLookupHost, QStringLiteral("/cgi-bin/find.cgi?ISS"));
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
            return fail(QStringLiteral("the look-up service redirected more than %1 times")
                            .arg(kMaxRedirects));
        return fail(QStringLiteral("the look-up service sent the station from %1 to %2")
                        .arg(at_.toString(), to.toString()));
    }
    deadline_.stop();
    if (timedOut_)
        return fail(
            QStringLiteral("the look-up service gave no page within %1 s").arg(kTimeoutMs / 1000));
    if (tooLong_ || page_.size() > kMaxPage)
        return fail(QStringLiteral("the look-up page is longer than %1 bytes").arg(kMaxPage));
    if (reply->error() != QNetworkReply::NoError)
        return fail(QStringLiteral("the look-up service failed: ") + reply->errorString());
    if (status < 200 || status > 299)
        return fail(QStringLiteral("the look-up service answered HTTP %1").arg(status));
    finish(page_);
}

void IssRoutine::finish(const QByteArray &page)
{
    const QString copy = g_.folder().resolve(QStringLiteral("\\ISS.txt"));
    const QString error = files::replaceFile(copy, page);
    if (!error.isEmpty())
        g_.logError(QStringLiteral("Files"),
                    QStringLiteral("could not save %1: %2").arg(copy, error));

    QString why;
    const std::optional<position::Text> fix = iss::positionFromPage(page, &why);
    if (!fix)
        return fail(why);
    lastFailure_.clear();

    restoreCaption();
    if (g_.texts.text(StateTexts::IssCaption).startsWith(QLatin1Char('+'))) {
        g_.setIssProgress(1);
        Gateway::enable(g_.Timer16);
    }

    const QTime utc = g_.clock().now().toUTC().time();
    g_.texts.set(StateTexts::IssObject, iss::displayText(*fix, utc));

    const QString own = g_.settings.text(Settings::InternetBeaconText).mid(1, 18);
    const std::optional<position::Bearing> bearing = position::distance(own, *fix);
    const std::optional<int> elevation = position::elevation(own, *fix);
    if (bearing && elevation) {
        if (bearing->degrees)
            azimuth_ = *bearing->degrees;
        elevation_ = static_cast<qint16>(*elevation);
        g_.texts.set(StateTexts::IssLine, iss::line(bearing->km, azimuth_, *elevation));
    } else {
        // Without a position of its own the station cannot tell where the ISS stands.
        g_.texts.set(StateTexts::IssLine, QString());
    }
    showElevation(bearing ? elevation : std::nullopt);

    if (modeRun_ && !g_.settings.isOn(Settings::IssObject))
        return;
    if (!g_.settings.isOn(Settings::IssObjectOnly) || (bearing && elevation && *elevation >= 0))
        g_.mailbox.transmitText(iss::objectText(*fix, utc));
}

void IssRoutine::fail(const QString &reason)
{
    restoreCaption();
    g_.texts.set(StateTexts::IssObject, QStringLiteral(" > WEB Error!"));
    // A service that stays down is said once, not every minute.
    if (reason != lastFailure_)
        g_.logError(QStringLiteral("ISS"), reason);
    lastFailure_ = reason;
}

void IssRoutine::restoreCaption()
{
    const bool plus = g_.texts.text(StateTexts::IssCaption).startsWith(QLatin1Char('+'));
    g_.texts.set(StateTexts::IssCaption, plus ? QLatin1Char('+') + kCaption : kCaption);
}

void IssRoutine::showElevation(std::optional<int> elevation)
{
    const bool above = elevation && *elevation >= 0;
    g_.setIssAbove(above);
    if (above) {
        Gateway::enable(g_.Timer15);
    } else {
        Gateway::disable(g_.Timer15);
        g_.setIssLampVisible(false);
    }
}

} // namespace kestrel
