#pragma once

#include "benchclock.h"
#include "link/deviceprotocol.h"
#include "link/framecodec.h"
#include "sim/linesettings.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

// The panel's idle exchange with nothing around it: a status or ADC read every 250 ms, sent in
// the same six pieces, and a plain poll() for its reply line. What this costs is the least any
// program pays on this machine for talking to the emulator this way (on a virtual machine,
// mostly the kernel's and the hypervisor's price for each wake-up on either side of the
// terminal), so the panel's figure is printed beside it.
struct BareFigures
{
    double cpuPercent = 0;
    double wakesPerSecond = 0;
    int replies = 0;
    int exchanges = 0;
};

namespace BareExchange {

inline qint64 MonotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

inline void SleepUntilMs(qint64 ms)
{
    const timespec at{time_t(ms / 1000), long(ms % 1000) * 1000000};
    // Only a signal ends the sleep early; sleep on to the same instant then.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR)
        continue;
}

// The six writes of a read request: start, register pair, operation pair, two CRC pairs, end.
inline QVector<QByteArray> ReadRequestPieces(quint8 registerCode)
{
    const quint16 crc = FrameCodec::RequestCrc(registerCode, DeviceOperation::Read, nullptr, 0);
    return {
        QByteArray(1, FrameCodec::RequestStart),    FrameCodec::HexByte(registerCode),
        FrameCodec::HexByte(DeviceOperation::Read), FrameCodec::HexByte(quint8(crc >> 8)),
        FrameCodec::HexByte(quint8(crc & 0xFF)),    QByteArray(1, FrameCodec::EndChar),
    };
}

// Waits up to timeoutMs for a line ending in CR; true when one came.
inline bool AwaitReply(int fd, qint64 timeoutMs)
{
    const qint64 deadline = MonotonicMs() + timeoutMs;
    for (;;) {
        const qint64 left = deadline - MonotonicMs();
        if (left <= 0)
            return false;
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(left));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        char buffer[256];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        // End of file means the emulator hung up; poll() would report it again at once.
        if (count <= 0)
            return false;
        if (QByteArray::fromRawData(buffer, int(count)).contains(FrameCodec::EndChar))
            return true;
    }
}

// Runs the exchange on the serial end at path for seconds; the Qt event loop does not run
// meanwhile, so nothing else of this process is counted.
inline BareFigures Run(const QString &path, int seconds)
{
    BareFigures figures;
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return figures;
    termios mode{};
    if (tcgetattr(fd, &mode) == 0) {
        cfmakeraw(&mode);
        tcsetattr(fd, TCSANOW, &mode);
    }
    // The emulator answers only a line set as the panel sets it.
    LineSettings::converterLine().applyTo(fd);
    const QVector<QByteArray> requests[2] = {ReadRequestPieces(DeviceRegister::Status),
                                             ReadRequestPieces(DeviceRegister::Adc)};
    const double cpuBefore = CpuSeconds();
    const long wakesBefore = Wakes();
    const qint64 start = MonotonicMs();
    const int ticks = seconds * 4;
    for (int tick = 0; tick < ticks; ++tick) {
        SleepUntilMs(start + qint64(tick) * 250);
        for (const QByteArray &piece : requests[tick % 2]) {
            if (::write(fd, piece.constData(), size_t(piece.size())) < 0)
                break;
        }
        ++figures.exchanges;
        if (AwaitReply(fd, DeviceProtocol::CommandTimeoutMs))
            ++figures.replies;
    }
    SleepUntilMs(start + qint64(ticks) * 250);
    const double wallSeconds = double(MonotonicMs() - start) / 1000.0;
    figures.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / wallSeconds;
    figures.wakesPerSecond = double(Wakes() - wakesBefore) / wallSeconds;
    ::close(fd);
    return figures;
}

} // namespace BareExchange
