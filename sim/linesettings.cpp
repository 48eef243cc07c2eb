#include "sim/linesettings.h"

// The kernel's own termios2 carries arbitrary speeds (Qt sets the non-standard 9200 through
// it); glibc's termios cannot express them, so these headers stand instead of <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

int dataBitsOf(quint32 cflag)
{
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

quint32 sizeFlag(int dataBits)
{
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

char parityOf(quint32 cflag)
{
    if (!(cflag & PARENB))
        return 'N';
    if (cflag & CMSPAR)
        return (cflag & PARODD) ? 'M' : 'S';
    return (cflag & PARODD) ? 'O' : 'E';
}

quint32 parityFlags(char parity)
{
    switch (parity) {
    case 'E':
        return PARENB;
    case 'O':
        return PARENB | PARODD;
    case 'M':
        return PARENB | PARODD | CMSPAR;
    case 'S':
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

} // namespace

LineSettings LineSettings::fromTermios(quint32 cflag, quint32 inputSpeed, quint32 outputSpeed)
{
    LineSettings line;
    line.inputBaud = int(inputSpeed);
    line.outputBaud = int(outputSpeed);
    line.dataBits = dataBitsOf(cflag);
    line.parity = parityOf(cflag);
    line.stopBits = (cflag & CSTOPB) ? 2 : 1;
    return line;
}

std::optional<LineSettings> LineSettings::read(int fd)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return std::nullopt;
    return fromTermios(tio.c_cflag, tio.c_ispeed, tio.c_ospeed);
}

bool LineSettings::applyTo(int fd) const
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &=
        ~tcflag_t(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | sizeFlag(dataBits) | parityFlags(parity);
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_ispeed = speed_t(qMax(0, inputBaud));
    tio.c_ospeed = speed_t(qMax(0, outputBaud));
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

QString LineSettings::text() const
{
    const QString speed = inputBaud == outputBaud
                              ? QString::number(outputBaud)
                              : QStringLiteral("%1/%2").arg(inputBaud).arg(outputBaud);
    return QStringLiteral("%1 %2%3%4")
        .arg(speed)
        .arg(dataBits)
        .arg(QLatin1Char(parity))
        .arg(stopBits);
}
