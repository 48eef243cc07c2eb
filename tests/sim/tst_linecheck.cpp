#include "sim/converteremulator.h"
#include "sim/linesettings.h"

#include <QSerialPort>
#include <QtTest>

#include <asm/termbits.h>

#include <memory>

Q_DECLARE_METATYPE(QSerialPort::DataBits)
Q_DECLARE_METATYPE(QSerialPort::Parity)
Q_DECLARE_METATYPE(QSerialPort::StopBits)

namespace {

const QByteArray StatusRequest("#01013E1F\r");

// Everything up to the first CR, or what came before the time ran out.
QByteArray readLine(QSerialPort &port, int timeoutMs = 2000)
{
    QByteArray line;
    if (!QTest::qWaitFor([&] { return (line += port.readAll()).contains('\r'); }, timeoutMs))
        qWarning("no complete line within %d ms", timeoutMs);
    return line;
}

} // namespace

// The emulator understands only a serial end set to 9200 baud 8N1, as the converter does.
class TestLineCheck : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void settingsFromTheKernel_data();
    void settingsFromTheKernel();
    void onlyTheConverterLineIsAnswered_data();
    void onlyTheConverterLineIsAnswered();
    void checkOffAnswersAnyLine();

private:
    std::unique_ptr<ConverterEmulator> emulator;
};

void TestLineCheck::init()
{
    emulator = std::make_unique<ConverterEmulator>();
    emulator->setPaced(false);
    QString error;
    QVERIFY2(emulator->start(&error), qPrintable(error));
}

void TestLineCheck::cleanup()
{
    emulator.reset();
}

void TestLineCheck::settingsFromTheKernel_data()
{
    QTest::addColumn<uint>("cflag");
    QTest::addColumn<uint>("inputSpeed");
    QTest::addColumn<uint>("outputSpeed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");
    const uint base = CREAD | CLOCAL | CS8;
    // What QSerialPort leaves for 9200: the speed set through BOTHER.
    QTest::newRow("9200 8N1") << (base | BOTHER) << 9200u << 9200u << "9200 8N1" << true;
    QTest::newRow("115200") << (base | B115200) << 115200u << 115200u << "115200 8N1" << false;
    QTest::newRow("1200") << (base | B1200) << 1200u << 1200u << "1200 8N1" << false;
    QTest::newRow("input at 9600")
        << (base | BOTHER | (B9600 << IBSHIFT)) << 9600u << 9200u << "9600/9200 8N1" << false;
    QTest::newRow("7E1") << uint(CREAD | CS7 | PARENB | BOTHER) << 9200u << 9200u << "9200 7E1"
                         << false;
    QTest::newRow("odd parity") << (base | PARENB | PARODD | BOTHER) << 9200u << 9200u << "9200 8O1"
                                << false;
    QTest::newRow("mark parity") << (base | PARENB | PARODD | CMSPAR | BOTHER) << 9200u << 9200u
                                 << "9200 8M1" << false;
    QTest::newRow("space parity") << (base | PARENB | CMSPAR | BOTHER) << 9200u << 9200u
                                  << "9200 8S1" << false;
    QTest::newRow("two stop bits")
        << (base | CSTOPB | BOTHER) << 9200u << 9200u << "9200 8N2" << false;
    // QSerialPort clears only PARENB when parity goes back to none.
    QTest::newRow("odd flag without parity")
        << (base | PARODD | BOTHER) << 9200u << 9200u << "9200 8N1" << true;
    QTest::newRow("five bits") << uint(CREAD | CS5 | BOTHER) << 9200u << 9200u << "9200 5N1"
                               << false;
}

void TestLineCheck::settingsFromTheKernel()
{
    QFETCH(uint, cflag);
    QFETCH(uint, inputSpeed);
    QFETCH(uint, outputSpeed);
    QFETCH(bool, fits);
    const LineSettings line = LineSettings::fromTermios(cflag, inputSpeed, outputSpeed);
    QTEST(line.text(), "text");
    QCOMPARE(line == LineSettings::converterLine(), fits);
}

void TestLineCheck::onlyTheConverterLineIsAnswered_data()
{
    QTest::addColumn<int>("baud"); // 0: QSerialPort's default, as a panel that forgot it
    QTest::addColumn<QSerialPort::DataBits>("dataBits");
    QTest::addColumn<QSerialPort::Parity>("parity");
    QTest::addColumn<QSerialPort::StopBits>("stopBits");
    QTest::addColumn<QString>("refused"); // empty: answered
    const auto eight = QSerialPort::Data8;
    const auto none = QSerialPort::NoParity;
    const auto one = QSerialPort::OneStop;
    QTest::newRow("9200 8N1") << 9200 << eight << none << one << QString();
    QTest::newRow("115200") << 115200 << eight << none << one << "115200 8N1";
    QTest::newRow("1200") << 1200 << eight << none << one << "1200 8N1";
    QTest::newRow("baud rate not set") << 0 << eight << none << one << "9600 8N1";
    QTest::newRow("two stop bits") << 9200 << eight << none << QSerialPort::TwoStop << "9200 8N2";
    // A pseudo-terminal stores 8 bits without parity whatever it is asked (see LineSettings),
    // so 7E1 cannot be caught here; it is in the table above.
}

void TestLineCheck::onlyTheConverterLineIsAnswered()
{
    QFETCH(int, baud);
    QFETCH(QSerialPort::DataBits, dataBits);
    QFETCH(QSerialPort::Parity, parity);
    QFETCH(QSerialPort::StopBits, stopBits);
    QFETCH(QString, refused);
    QSerialPort port;
    port.setPortName(emulator->serialPath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(baud == 0 || port.setBaudRate(baud));
    QVERIFY(port.setDataBits(dataBits) && port.setParity(parity) && port.setStopBits(stopBits));
    QCOMPARE(emulator->clientLineSettings()->text(), refused.isEmpty() ? "9200 8N1" : refused);

    QSignalSpy refusals(emulator.get(), &ConverterEmulator::lineSettingsRefused);
    port.write(StatusRequest);
    if (refused.isEmpty()) {
        QCOMPARE(readLine(port).left(5), QByteArray("^0108"));
        QCOMPARE(refusals.size(), 0);
        return;
    }
    QTRY_COMPARE(refusals.size(), 1);
    QCOMPARE(refusals.first().first().toString(), refused);
    QVERIFY(emulator->requests().isEmpty());
    QVERIFY(port.readAll().isEmpty());

    // Set right, the same port is understood, and the refused request was not kept for later.
    QVERIFY(port.setBaudRate(9200) && port.setStopBits(QSerialPort::OneStop));
    port.write(StatusRequest);
    const QByteArray line = readLine(port);
    QCOMPARE(line.left(5), QByteArray("^0108"));
    QVERIFY(line.endsWith('\r'));
    QCOMPARE(emulator->requests().size(), 1);
    QCOMPARE(refusals.size(), 1);
}

void TestLineCheck::checkOffAnswersAnyLine()
{
    emulator->setLineCheck(false);
    QSerialPort port;
    port.setPortName(emulator->serialPath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QSignalSpy refusals(emulator.get(), &ConverterEmulator::lineSettingsRefused);
    for (int baud : {115200, 1200}) {
        QVERIFY(port.setBaudRate(baud));
        port.write(StatusRequest);
        QCOMPARE(readLine(port).left(5), QByteArray("^0108"));
    }
    QCOMPARE(refusals.size(), 0);

    // Switched back on, the same port at 1200 is refused again.
    emulator->setLineCheck(true);
    port.write(StatusRequest);
    QTRY_COMPARE(refusals.size(), 1);
    QCOMPARE(refusals.first().first().toString(), QString("1200 8N1"));
}

QTEST_GUILESS_MAIN(TestLineCheck)
#include "tst_linecheck.moc"
