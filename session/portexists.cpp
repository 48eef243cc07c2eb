#include "session/portexists.h"

#include <QFileInfo>

#ifdef Q_OS_WIN

#include <qt_windows.h>

#include <iterator>

namespace {

// "\\.\COM7" and "COM7" name the same device.
QString DosDeviceName(const QString &name)
{
    const QString devicePrefix = QStringLiteral("\\\\.\\");
    return name.startsWith(devicePrefix) ? name.mid(devicePrefix.size()) : name;
}

} // namespace

bool PortExists(const QString &name)
{
    const QString device = DosDeviceName(name);
    if (device.contains(QLatin1Char('\\')) || device.contains(QLatin1Char('/')))
        return QFileInfo::exists(name);
    // Qt has no call for it: a DOS device name is no file, so QFileInfo cannot see it, and
    // opening the port to find out would take it from whoever holds it.
    wchar_t target[512];
    return QueryDosDeviceW(reinterpret_cast<const wchar_t *>(device.utf16()), target,
                           DWORD(std::size(target))) != 0;
}

#else

bool PortExists(const QString &name)
{
    return QFileInfo::exists(name);
}

#endif
