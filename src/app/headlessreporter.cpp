#include "app/headlessreporter.h"

#include "core/text.h"
#include "station/gateway.h"

#include <QTimer>

#ifndef _WIN32
#include <langinfo.h>
#endif

namespace kestrel {

HeadlessReporter::HeadlessReporter(Gateway &gateway, std::FILE *out, QObject *parent)
    : QObject(parent), out_(out)
{
    connect(&gateway.texts(), &StateTexts::textChanged, this,
            [this](StateTexts::Text t, const QString &value) {
                // Its seconds tick every second: printed when the rest changes.
                if (t == StateTexts::InetToRfStatus) {
                    const QString counts = value.section(QStringLiteral(" Time:"), 0, 0);
                    if (counts == inetToRf_)
                        return;
                    inetToRf_ = counts;
                    print(StateTexts::name(t) + QStringLiteral(": ") + counts);
                    return;
                }
                // The day's passes: each once, as it comes into the day.
                if (t == StateTexts::Passes) {
                    const QStringList passes = value.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                    for (const QString &pass : passes)
                        if (!passes_.contains(pass))
                            print(StateTexts::name(t) + QStringLiteral(": + ") +
                                  text::printable(pass));
                    passes_ = passes;
                    return;
                }
                print(StateTexts::name(t) + QStringLiteral(": ") + text::printable(value));
            });
    connect(&gateway.texts(), &StateTexts::counterChanged, this,
            [this](StateTexts::Counter c, qint64 value) {
                print(QStringLiteral("Statistics ") + StateTexts::name(c) + QStringLiteral(": ") +
                      QString::number(value));
            });
    connect(&gateway.refusals(), &RefusalCounts::counted, this,
            [this, &gateway](Refusal r) { print(gateway.refusals().line(r)); });
    for (TextList *list : {&gateway.positionsList(), &gateway.mheardList(), &gateway.igatedList(),
                           &gateway.internetList()}) {
        const QString name = list->name();
        connect(list, &TextList::rowAppended, this, [this, name](const QString &row) {
            print(name + QStringLiteral(" + ") + text::printable(row));
        });
        connect(list, &TextList::rowReplaced, this, [this, name](qsizetype i, const QString &row) {
            print(name + QStringLiteral(" ~") + QString::number(i + 1) + QStringLiteral(" ") +
                  text::printable(row));
        });
        connect(list, &TextList::rowRemoved, this, [this, name](qsizetype i, const QString &row) {
            print(name + QStringLiteral(" -") + QString::number(i + 1) + QStringLiteral(" ") +
                  text::printable(row));
        });
    }
    connect(&gateway, &Gateway::frameTaken, this, [this](const QString &frame) {
        print(QStringLiteral("Frame: ") + text::printable(frame));
    });
    connect(&gateway, &Gateway::reconnectNoticeChanged, this, [this](bool visible) {
        if (visible)
            print(QStringLiteral("Trying to Reconnect ..."));
    });
    connect(&gateway.mailbox(), &HostMailbox::commandWritten, this, [this](const QString &summary) {
        print(QStringLiteral("Mailbox: ") + text::printable(summary));
    });
}

bool HeadlessReporter::localeIsUtf8()
{
#ifdef _WIN32
    return false;
#else
    // QCoreApplication has taken the environment's locale (setlocale).
    const QByteArray codeset = QByteArray(nl_langinfo(CODESET)).toUpper().replace('-', "");
    return codeset == "UTF8";
#endif
}

void HeadlessReporter::print(const QString &line)
{
    // The terminal's own encoding, so a degree sign reads as one; outside a
    // UTF-8 locale each byte of outside text goes out as it came.
    const QByteArray bytes = (utf8_ ? line.toUtf8() : text::toBytes(line)) + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out_);
    // Everything one event printed goes out together, as soon as it is done.
    if (!flushPending_) {
        flushPending_ = true;
        QTimer::singleShot(0, this, [this] {
            flushPending_ = false;
            std::fflush(out_);
        });
    }
}

} // namespace kestrel
