#include "xml/ImpExp_PageFile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

#ifdef Q_OS_UNIX
QString kindOfFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("a special file");
}
#endif

ImpExp_PageFile::Outcome refuse(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return ImpExp_PageFile::Refused;
}

} // namespace

ImpExp_PageFile::Outcome ImpExp_PageFile::open(QFile &file, QString *why)
{
#ifdef Q_OS_UNIX
    // Non-blocking, so that opening a FIFO returns at once; the descriptor is
    // looked at before anything reads from it, so nothing can swap the file
    // between the look and the read.
    const QByteArray path = QFile::encodeName(file.fileName());
    int descriptor;
    do
        descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return Missing;
        return refuse(why, QString::fromLocal8Bit(std::strerror(error)));
    }
    struct stat status;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        const QString reason
            = QStringLiteral("not a regular file but %1").arg(kindOfFile(status.st_mode));
        ::close(descriptor);
        return refuse(why, reason);
    }
    // Reads from a regular file never block anyway; the flag goes for good measure.
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags != -1)
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return refuse(why, file.errorString());
    }
    return Opened;
#else
    const QFileInfo info(file.fileName());
    if (!info.exists())
        return Missing;
    if (!info.isFile())
        return refuse(why, QStringLiteral("not a regular file"));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(why, file.errorString());
    return Opened;
#endif
}
