#include "scriptedpeer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

ScriptedPeer::ScriptedPeer()
{
    clock.start();
}

ScriptedPeer::~ScriptedPeer() = default;

bool ScriptedPeer::start()
{
    if (!terminal.open())
        return false;
    notifier = new QSocketNotifier(terminal.master(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ScriptedPeer::readMaster);
    return true;
}

void ScriptedPeer::hangUp()
{
    delete notifier;
    notifier = nullptr;
    terminal.close();
}

void ScriptedPeer::send(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    size_t left = size_t(bytes.size());
    while (terminal.isOpen() && left > 0) {
        const ssize_t written = ::write(terminal.master(), data, left);
        if (written <= 0)
            return;
        data += written;
        left -= size_t(written);
    }
}

void ScriptedPeer::readMaster()
{
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(terminal.master(), buffer, sizeof buffer);
        if (count <= 0)
            break;
        received.append(buffer, int(count));
        pending.append(buffer, int(count));
    }
    int end = 0;
    while ((end = pending.indexOf('\r')) >= 0) {
        frames.append(pending.left(end + 1));
        frameTimes.append(clock.elapsed());
        pending.remove(0, end + 1);
        if (!script.isEmpty())
            playPiece(script.dequeue(), 0);
    }
}

void ScriptedPeer::playPiece(Reply reply, int index)
{
    if (index >= reply.size())
        return;
    QTimer::singleShot(reply.at(index).delayMs, Qt::PreciseTimer, this, [this, reply, index] {
        send(reply.at(index).bytes);
        playPiece(reply, index + 1);
    });
}
