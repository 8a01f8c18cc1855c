#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A station laid out in a temporary folder: a program folder with the
// folders and files start-up requires, a host folder with Zeno.ini and a
// mailbox store. Tests change or remove pieces before starting a gateway.
class TempStation
{
public:
    TempStation();

    bool isValid() const { return root_.isValid(); }
    QString root() const { return root_.path(); }
    QString programDir() const { return root() + QStringLiteral("/program"); }
    QString hostDir() const { return root() + QStringLiteral("/zeno"); }
    QString mailboxDir() const { return root() + QStringLiteral("/mailbox"); }
    QString programFile(const QString &name) const
    {
        return programDir() + QLatin1Char('/') + name;
    }

    // A complete kestrel.ini as the settings dialog writes it, with the
    // given lines of "Key=value" replacing those keys' lines.
    static QByteArray settingsFile(const QStringList &overrides = {});
    void writeSettings(const QStringList &overrides = {});

    void writeFile(const QString &path, const QByteArray &content) const;
    static QByteArray readFile(const QString &path);
    // Every file below the root with its content, to see what a run touched.
    QStringList snapshot() const;

    // What the host writes: call sign, folder, beacon text and state.
    void setHost(const QString &call,
                 const QByteArray &beaconLine = "!4903.50N\\07201.75W-Test beacon");
    void setMailboxValue(const QString &key, const QString &name, const QByteArray &value) const;
    QByteArray mailboxValue(const QString &key, const QString &name) const;
    QString mailboxPath(const QString &key, const QString &name) const;

    static const QString kCall;

private:
    QTemporaryDir root_;
};
