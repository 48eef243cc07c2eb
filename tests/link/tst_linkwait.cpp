#include "link/devicelink.h"
#include "link/deviceprotocol.h"
#include "replytext.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QtTest>

namespace {

const QByteArray StatusReply =
    ReplyText(QByteArray::fromHex("0108") + QByteArray::fromHex("D204370200000101"));

// A port whose reply becomes readable at a set time without any event or readyRead announcing
// it, as a Windows serial port fills its buffer from completion routines that run inside the
// event loop's wait without ending it.
class UnannouncedReplyPort : public QIODevice
{
public:
    UnannouncedReplyPort(QByteArray reply, int arrivalMs)
        : reply(std::move(reply)), arrivalMs(arrivalMs)
    {
        open(QIODevice::ReadWrite);
        clock.start();
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return Arrived().size() + QIODevice::bytesAvailable();
    }

    int requests = 0;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const QByteArray waiting = Arrived();
        const qint64 count = qMin<qint64>(maxSize, waiting.size());
        memcpy(data, waiting.constData(), size_t(count));
        taken += int(count);
        return count;
    }

    qint64 writeData(const char *data, qint64 length) override
    {
        requests += int(QByteArray(data, int(length)).count(FrameCodec::EndChar));
        return length;
    }

private:
    QByteArray Arrived() const
    {
        return clock.elapsed() >= arrivalMs ? reply.mid(taken) : QByteArray();
    }

    QByteArray reply;
    int arrivalMs;
    int taken = 0;
    QElapsedTimer clock;
};

} // namespace

// The reply wait on any port: it ends with what reached the port within its time, however
// the port's bytes came in.
class TestLinkWait : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void replyThatCameUnannouncedIsTakenAtTheDeadline();
    void readTakesAnUnannouncedReplyWithoutAskingAgain();
    void replyAfterTheDeadlineIsLeftForTheNextWait();
    void everyWaitWithoutAReplyEndsAtItsDeadline();

private:
    DeviceLink link;
};

void TestLinkWait::init()
{
    link.SetTrace(nullptr);
}

void TestLinkWait::replyThatCameUnannouncedIsTakenAtTheDeadline()
{
    UnannouncedReplyPort port(StatusReply, 50);
    link.SetPort(&port);
    QByteArray line;
    QVERIFY(link.GetLine(line, 100));
    QCOMPARE(line, StatusReply);
}

void TestLinkWait::readTakesAnUnannouncedReplyWithoutAskingAgain()
{
    UnannouncedReplyPort port(StatusReply, DeviceProtocol::CommandTimeoutMs / 2);
    link.SetPort(&port);
    OutputStatus status;
    QCOMPARE(int(link.GetStatus(status)), int(Success));
    QCOMPARE(status.voltage, 1234);
    QCOMPARE(port.requests, 1);
}

void TestLinkWait::replyAfterTheDeadlineIsLeftForTheNextWait()
{
    UnannouncedReplyPort port(StatusReply, 300);
    link.SetPort(&port);
    QByteArray line;
    QVERIFY(!link.GetLine(line, 50));
    QTRY_VERIFY(port.bytesAvailable() > 0);
    QVERIFY(link.GetLine(line, 50));
    QCOMPARE(line, StatusReply);
}

// Short waits in a row, as a silent converter gives them: on Windows the deadline's timer fires
// on a millisecond tick, now and then before the wait's own clock has passed its time-out, and
// its event is then delivered inside a pass of the event loop that goes on to sleep.
void TestLinkWait::everyWaitWithoutAReplyEndsAtItsDeadline()
{
    UnannouncedReplyPort silent(QByteArray(), 0);
    link.SetPort(&silent);
    QByteArray line;
    for (int timeoutMs = 1; timeoutMs <= 10; ++timeoutMs) {
        for (int wait = 0; wait < 20; ++wait)
            QVERIFY(!link.GetLine(line, timeoutMs));
    }
}

QTEST_GUILESS_MAIN(TestLinkWait)
#include "tst_linkwait.moc"
