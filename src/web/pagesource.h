#pragma once

#include "web/countrytable.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <memory>

namespace kestrel {

class ActivityLog;
class Clock;
class ProgramFolder;
class Settings;
class StateTexts;
class TextList;
struct Services;

// The status page as a visitor gets it, made afresh for each visit from the
// station's state. The template file is read again only when it changes and
// the lists' tables are built again only when a list changes, so a busy page
// costs little more than its placeholders.
class PageSource : public QObject
{
    Q_OBJECT
public:
    PageSource(const Settings &settings, const StateTexts &texts, ActivityLog &log,
               const Clock &clock, const ProgramFolder &folder, const TextList &mheard,
               const TextList &igated, const Services &services);

    // The page for the visitor at this address; the visit is logged first,
    // with the visitor's country, when the operator asks for that.
    QByteArray pageFor(const QString &visitor);

private:
    bool readTemplate(QString &why);
    QByteArray tables();
    void logVisit(const QString &visitor);

    const Settings &settings_;
    const StateTexts &texts_;
    ActivityLog &log_;
    const Clock &clock_;
    const ProgramFolder &folder_;
    const TextList &mheard_;
    const TextList &igated_;
    const Services &services_;

    QByteArray template_; // the template as last read, and the file it was read from
    QString templatePath_;
    qint64 templateSize_ = -1;
    QDateTime templateModified_;
    QByteArray tables_; // as last built; empty when a list has changed
    QString tablesHost_;
    std::unique_ptr<CountryTable> countries_;
    QString countriesPath_;
};

} // namespace kestrel
