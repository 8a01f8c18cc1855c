#include "core/instancelock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kestrel {

InstanceLock::~InstanceLock()
{
#ifdef _WIN32
    if (handle_)
        CloseHandle(static_cast<HANDLE>(handle_));
#else
    if (fd_ >= 0)
        ::close(fd_);
#endif
}

InstanceLock::Outcome InstanceLock::take(const QString &folder)
{
    if (!QDir(folder).exists())
        return Outcome::Unavailable;
#ifdef _WIN32
    // A named mutex per folder: names are case-blind there, as paths are.
    const QByteArray key = QCryptographicHash::hash(QDir(folder).canonicalPath().toLower().toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex();
    const std::wstring name =
        L"Local\\KestrelProgramFolder-" + QString::fromLatin1(key).toStdWString();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!mutex)
        return Outcome::Unavailable;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return Outcome::HeldElsewhere;
    }
    handle_ = mutex;
#else
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Outcome::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return Outcome::HeldElsewhere;
    }
    fd_ = fd;
#endif
    return Outcome::Taken;
}

} // namespace kestrel
