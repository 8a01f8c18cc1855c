#include "web/pagesource.h"

#include "core/activitylog.h"
#include "core/clock.h"
#include "core/programfolder.h"
#include "core/services.h"
#include "core/settings.h"
#include "core/statetexts.h"
#include "core/text.h"
#include "core/textlist.h"
#include "web/statuspage.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace kestrel {

namespace {

// A template is a page of HTML; anything far larger is not one.
constexpr qint64 kMaxTemplate = 4 << 20;

} // namespace

PageSource::PageSource(const Settings &settings, const StateTexts &texts, ActivityLog &log,
                       const Clock &clock, const ProgramFolder &folder, const TextList &mheard,
                       const TextList &igated, const Services &services)
    : settings_(settings), texts_(texts), log_(log), clock_(clock), folder_(folder),
      mheard_(mheard), igated_(igated), services_(services)
{
    for (const TextList *list : {&mheard_, &igated_}) {
        connect(list, &QAbstractItemModel::rowsInserted, this, [this] { tables_.clear(); });
        connect(list, &QAbstractItemModel::rowsRemoved, this, [this] { tables_.clear(); });
        connect(list, &QAbstractItemModel::dataChanged, this, [this] { tables_.clear(); });
        connect(list, &QAbstractItemModel::modelReset, this, [this] { tables_.clear(); });
    }
}

QByteArray PageSource::pageFor(const QString &visitor)
{
    if (settings_.isOn(Settings::LogVisits))
        logVisit(visitor);
    QString why;
    if (!readTemplate(why))
        return statuspage::missingTemplatePage(why);

    statuspage::Values v;
    v.callSign = settings_.text(Settings::OwnCall);
    v.mhExpTime = settings_.text(Settings::MHExpTime);
    v.comments = settings_.text(Settings::WebComments);
    v.beacon = settings_.text(Settings::InternetBeaconText);
    v.dateTime = statuspage::dateTime(clock_.now(), QLocale::system());
    v.connection = texts_.text(StateTexts::ConnectionState);
    v.record = texts_.text(StateTexts::DxText);
    v.micE = texts_.text(StateTexts::MicELine);
    v.issLine = texts_.text(StateTexts::IssLine);
    v.passes = texts_.text(StateTexts::Passes);
    v.lastPass = texts_.text(StateTexts::LastPass);
    v.visitor = visitor;
    return text::toBytes(statuspage::fillTemplate(template_, v)) + tables();
}

bool PageSource::readTemplate(QString &why)
{
    const QString path = folder_.resolve(QStringLiteral("\\Web\\server.htm"));
    const QFileInfo info(path);
    if (path == templatePath_ && info.size() == templateSize_ &&
        info.lastModified() == templateModified_ && info.isFile())
        return true;
    templatePath_.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        log_.logError(QStringLiteral("Web"),
                      QStringLiteral("cannot read %1: %2").arg(file.fileName(), why));
        return false;
    }
    template_ = file.read(kMaxTemplate);
    templatePath_ = path;
    templateSize_ = info.size();
    templateModified_ = info.lastModified();
    return true;
}

QByteArray PageSource::tables()
{
    // The look-up host is read from services.ini at start-up, after the
    // first tables may have been built.
    if (tables_.isEmpty() || tablesHost_ != services_.aprsLookupHost) {
        tablesHost_ = services_.aprsLookupHost;
        tables_ = text::toBytes(statuspage::tables(mheard_.rows(), igated_.rows(), tablesHost_));
    }
    return tables_;
}

void PageSource::logVisit(const QString &visitor)
{
    // The table's name is matched without regard to case, so it may change.
    const QString table = folder_.resolve(QStringLiteral("\\IP2.csv"));
    if (!countries_ || countriesPath_ != table) {
        countries_ = std::make_unique<CountryTable>(table);
        countriesPath_ = table;
    }
    const QString country = countries_->lookup(visitor);
    log_.appendLog(QStringLiteral("\\Logs_Kestrel\\web_visits.txt"),
                   {text::stamp(clock_.now()) + QStringLiteral(" IP:") + visitor +
                    QStringLiteral(" (") + country + QLatin1Char(')')});
}

} // namespace kestrel
