#include "tests/support/sessionwatch.h"

#include "session/devicesession.h"

#include <QSerialPort>
#include <QTimer>
#include <QtTest>

#include <algorithm>

TickCounter::TickCounter(DeviceSession *session)
{
    connect(session, &DeviceSession::tickDone, this, [this] { ++ticks; });
}

bool TickCounter::WaitTicks(int more, int waitMs)
{
    const int target = ticks + more;
    return QTest::qWaitFor([this, target] { return ticks >= target; }, waitMs);
}

bool SessionAtRest(const DeviceSession &session)
{
    const QList<QSerialPort *> ports = session.findChildren<QSerialPort *>();
    const QList<QTimer *> timers = session.findChildren<QTimer *>();
    return std::none_of(ports.begin(), ports.end(), [](QSerialPort *p) { return p->isOpen(); }) &&
           std::none_of(timers.begin(), timers.end(), [](QTimer *t) { return t->isActive(); });
}
