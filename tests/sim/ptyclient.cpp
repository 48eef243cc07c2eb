#include "ptyclient.h"

#include "sim/linesettings.h"

#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

PtyClient::~PtyClient()
{
    close();
}

bool PtyClient::open(const QString &path)
{
    close();
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    gone = false;
    buffer.clear();
    // Set as the panel sets its port: the emulator understands nothing else.
    return fd >= 0 && LineSettings::converterLine().applyTo(fd);
}

void PtyClient::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void PtyClient::send(const QByteArray &bytes)
{
    if (fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
        qWarning("short write to the pseudo-terminal");
}

void PtyClient::drain()
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            buffer.append(chunk, int(n));
            seen.append(QByteArray(chunk, int(n)));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            gone = true;
        return;
    }
}

template <typename Done> void PtyClient::wait(int timeoutMs, Done done)
{
    if (fd < 0)
        return;
    drain();
    if (done() || gone)
        return;
    QEventLoop loop;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        drain();
        if (done() || gone) {
            notifier.setEnabled(false);
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray PtyClient::readLine(int timeoutMs)
{
    seen.clear();
    wait(timeoutMs, [this] { return buffer.contains('\r'); });
    const int end = buffer.indexOf('\r');
    const QByteArray line = end < 0 ? buffer : buffer.left(end + 1);
    buffer.remove(0, line.size());
    return line;
}

QByteArray PtyClient::readAtLeast(int count, int timeoutMs)
{
    seen.clear();
    wait(timeoutMs, [this, count] { return buffer.size() >= count; });
    const QByteArray all = buffer;
    buffer.clear();
    return all;
}

bool PtyClient::waitForHangUp(int timeoutMs)
{
    wait(timeoutMs, [] { return false; });
    return gone;
}
