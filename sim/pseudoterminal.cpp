#include "sim/pseudoterminal.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

void report(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::open(QString *error)
{
    if (isOpen())
        return true;
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        report(error, systemError("posix_openpt"));
        return false;
    }
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        report(error, systemError("grantpt/unlockpt"));
        ::close(fd);
        return false;
    }
    char name[128] = {};
    if (ptsname_r(fd, name, sizeof name) != 0) {
        report(error, systemError("ptsname_r"));
        ::close(fd);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        report(error, systemError("open slave"));
        ::close(fd);
        return false;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        tcsetattr(slave, TCSANOW, &tio);
    }
    masterFd = fd;
    slaveFd = slave;
    slaveName = QString::fromLocal8Bit(name);
    if (!placeLink(error)) {
        close();
        return false;
    }
    return true;
}

void PseudoTerminal::close()
{
    removeLink();
    if (slaveFd >= 0)
        ::close(slaveFd);
    if (masterFd >= 0)
        ::close(masterFd);
    slaveFd = -1;
    masterFd = -1;
    slaveName.clear();
}

bool PseudoTerminal::setLinkPath(const QString &path, QString *error)
{
    removeLink();
    link = path;
    return placeLink(error);
}

bool PseudoTerminal::placeLink(QString *error)
{
    if (link.isEmpty() || !isOpen())
        return true;
    const QByteArray linkName = QFile::encodeName(link);
    struct stat info
    {
    };
    if (lstat(linkName.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            report(error, QStringLiteral("%1 exists and is not a symbolic link").arg(link));
            return false;
        }
        ::unlink(linkName.constData());
    }
    if (symlink(QFile::encodeName(slaveName).constData(), linkName.constData()) != 0) {
        report(error, systemError("symlink"));
        return false;
    }
    return true;
}

void PseudoTerminal::removeLink()
{
    if (link.isEmpty() || slaveName.isEmpty())
        return;
    // Only our own link goes: someone may have re-pointed the path meanwhile.
    const QByteArray linkName = QFile::encodeName(link);
    char target[256] = {};
    const ssize_t n = readlink(linkName.constData(), target, sizeof target - 1);
    if (n > 0 && QFile::decodeName(QByteArray(target, int(n))) == slaveName)
        ::unlink(linkName.constData());
}
