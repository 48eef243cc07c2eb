#include "tests/support/messageboxwatcher.h"
#include "tests/support/paneldriver.h"
#include "tests/support/wire.h"

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLCDNumber>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimeEdit>
#include <QtTest>

namespace {

constexpr int drainMs = 60000;

const QString writeError = QStringLiteral("Error|Ошибка записи");

// Two device states far enough apart that any mix-up of them shows on screen and in the log.
OutputStatus Status(int voltage, int current, int outputOn)
{
    OutputStatus status;
    status.voltage = voltage;
    status.current = current;
    status.cvMode = 1;
    status.outputOn = outputOn;
    return status;
}
const OutputStatus goodStatus = Status(1234, 567, 1);
const OutputStatus newStatus = Status(2000, 890, 0);
const QString goodLine = QStringLiteral("12.340 0.5670");
const QString newLine = QStringLiteral("20.000 0.8900");

AdcReadings Adc(int millivolts)
{
    AdcReadings adc;
    adc.sdadcVoltage = millivolts;
    adc.sdadcCurrent = 100;
    adc.inputVoltage = 24000;
    adc.referenceVoltage = 2500;
    return adc;
}
const AdcReadings goodAdc = Adc(12500);
const AdcReadings newAdc = Adc(3300);

// What the panel shows while a fault lasts: the last good values, the device's new ones (the
// fault still lets good replies through), or either of the two but never anything else.
enum class WhileFaulty
{
    KeepsLastGood,
    ShowsNew,
    GoodValuesOnly,
};

// Counts zero-timers that were still waiting when the emulator received the next request: one
// such timer means the panel sat in a wait without handling its events.
class ResponsivenessProbe : public QObject
{
public:
    explicit ResponsivenessProbe(ConverterEmulator &emulator)
    {
        connect(&emulator, &ConverterEmulator::requestReceived, this, [this] {
            if (waiting)
                ++missed;
            waiting = true;
            QTimer::singleShot(0, this, [this] {
                waiting = false;
                ++handled;
            });
        });
    }

    int handled = 0;
    int missed = 0;

private:
    bool waiting = false;
};

FaultSettings Faults(void (*set)(FaultSettings &))
{
    FaultSettings faults;
    set(faults);
    return faults;
}

} // namespace

Q_DECLARE_METATYPE(FaultSettings)
Q_DECLARE_METATYPE(WhileFaulty)

// One run of the connected, logging panel per misbehaviour of the device: nothing wrong may
// reach the displays, the ADC page or the log, error boxes appear exactly when a write really
// failed, the window keeps handling events, and polling recovers once the device behaves.
class FaultMatrixTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void faultyDevice_data();
    void faultyDevice();
    void hangUpAndReturn();

private:
    void startLoggingPanel(PanelDriver &panel);
    QString shownVoltage(const PanelDriver &panel) const;
    QStringList logLines(const PanelDriver &panel) const;
};

void FaultMatrixTest::init()
{
    QSettings(QStringLiteral("brenta"), QStringLiteral("TALMIR")).clear();
}

void FaultMatrixTest::startLoggingPanel(PanelDriver &panel)
{
    panel.emulator.setFixedStatus(goodStatus);
    panel.emulator.setFixedAdc(goodAdc);
    auto *dialog = panel.window->findChild<QDialog *>("DialogSettingsLog");
    QVERIFY(dialog != nullptr);
    dialog->findChild<QTimeEdit *>("timeEdit")->setTime(QTime(0, 0, 1));
    dialog->findChild<QComboBox *>("comboBoxLogValue")->setCurrentIndex(0);
    panel.connectPort();
    panel.click("pushButtonLogStart");
    QTRY_COMPARE_WITH_TIMEOUT(shownVoltage(panel), QString("12.34"), TestWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->value(), 12.5,
                              TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(logLines(panel).contains(goodLine), TestWaitMs);
}

QString FaultMatrixTest::shownVoltage(const PanelDriver &panel) const
{
    return QString::number(panel.widget<QLCDNumber>("lcdNumberV")->value());
}

QStringList FaultMatrixTest::logLines(const PanelDriver &panel) const
{
    return panel.widget<QTextEdit>("textEditLog")->toPlainText().split('\n', Qt::SkipEmptyParts);
}

void FaultMatrixTest::faultyDevice_data()
{
    QTest::addColumn<FaultSettings>("faults");
    QTest::addColumn<WhileFaulty>("whileFaulty");
    QTest::addColumn<int>("applyBoxes");

    using W = WhileFaulty;
    QTest::newRow("silence") << Faults([](FaultSettings &f) { f.silent = true; })
                             << W::KeepsLastGood << 1;
    // A late reply lands in the retry's window or in a later transaction; writes are then
    // acknowledged one attempt late, and a read passes over a late reply of another register.
    QTest::newRow("delay 300 ms") << Faults([](FaultSettings &f) { f.delayMs = 300; })
                                  << W::GoodValuesOnly << 0;
    QTest::newRow("delay 100 ms") << Faults([](FaultSettings &f) { f.delayMs = 100; })
                                  << W::ShowsNew << 0;
    QTest::newRow("split replies") << Faults([](FaultSettings &f) {
        f.splitSize = 3;
        f.splitGapMs = 10;
    }) << W::ShowsNew << 0;
    QTest::newRow("noise before start")
        << Faults([](FaultSettings &f) { f.garbage = FaultSettings::defaultGarbage(); })
        << W::ShowsNew << 0;
    // A write's acknowledgement is judged by its second byte alone.
    QTest::newRow("bad CRC") << Faults([](FaultSettings &f) { f.badCrc = true; })
                             << W::KeepsLastGood << 0;
    // "1f" does not decode, so the acknowledgement is lost too.
    QTest::newRow("lower-case digits")
        << Faults([](FaultSettings &f) { f.lowerCase = true; }) << W::KeepsLastGood << 1;
    QTest::newRow("odd digit count")
        << Faults([](FaultSettings &f) { f.oddDigits = true; }) << W::KeepsLastGood << 0;
    QTest::newRow("bytes after CR")
        << Faults([](FaultSettings &f) { f.trailing = FaultSettings::defaultTrailing(); })
        << W::ShowsNew << 0;
    QTest::newRow("NAK to writes")
        << Faults([](FaultSettings &f) { f.nak = true; }) << W::ShowsNew << 1;
    // Each read first gets the other register's reply and passes over it; its second request
    // brings its own. The second write attempt gets the first one's acknowledgement.
    QTest::newRow("stale replies")
        << Faults([](FaultSettings &f) { f.stale = true; }) << W::ShowsNew << 0;
    // Three writes go unanswered, the fourth and last attempt gets through.
    QTest::newRow("silent first 3")
        << Faults([](FaultSettings &f) { f.silentFirst = 3; }) << W::ShowsNew << 0;
    // Noise as fast as the line takes it: every transaction fails, and the panel keeps
    // handling its events and its memory, instead of buffering the flood.
    QTest::newRow("flood of random bytes")
        << Faults([](FaultSettings &f) { f.flood = FaultSettings::Flood::RandomBytes; })
        << W::KeepsLastGood << 1;
    QTest::newRow("flood of digits without an end")
        << Faults([](FaultSettings &f) { f.flood = FaultSettings::Flood::HexWithoutEnd; })
        << W::KeepsLastGood << 1;
}

void FaultMatrixTest::faultyDevice()
{
    QFETCH(FaultSettings, faults);
    QFETCH(WhileFaulty, whileFaulty);
    QFETCH(int, applyBoxes);

    PanelDriver panel;
    QVERIFY(panel.started);
    MessageBoxWatcher boxes(50);
    startLoggingPanel(panel);

    ResponsivenessProbe probe(panel.emulator);
    panel.emulator.setFaults(faults);
    panel.emulator.setFixedStatus(newStatus);
    panel.emulator.setFixedAdc(newAdc);
    const int statusBefore = panel.countFor(Wire::Status, Wire::Read);
    const int adcBefore = panel.countFor(Wire::Adc, Wire::Read);
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) >= statusBefore + 2 &&
                                 panel.countFor(Wire::Adc, Wire::Read) >= adcBefore + 2,
                             TestWaitMs);
    if (whileFaulty == WhileFaulty::ShowsNew) {
        QTRY_COMPARE_WITH_TIMEOUT(shownVoltage(panel), QString("20"), TestWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->value(), 3.3,
                                  TestWaitMs);
    }
    const QString shown = shownVoltage(panel);
    const double shownAdc = panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->value();
    if (whileFaulty == WhileFaulty::KeepsLastGood) {
        QCOMPARE(shown, QString("12.34"));
        QCOMPARE(panel.widget<QPushButton>("pushButtonOnOff")->text(), QString("Выключить"));
        QCOMPARE(shownAdc, 12.5);
        QVERIFY(!logLines(panel).contains(newLine));
    } else {
        QVERIFY2(shown == "12.34" || shown == "20", qPrintable(shown));
        QVERIFY2(shownAdc == 12.5 || shownAdc == 3.3, qPrintable(QString::number(shownAdc)));
    }
    QVERIFY(boxes.seen.isEmpty());

    // The setpoint write, with the fault counted afresh from its first attempt.
    const int writesBefore = panel.countFor(Wire::Setpoints, Wire::Write);
    panel.widget<QDoubleSpinBox>("doubleSpinBoxV")->setValue(7.5);
    panel.click("pushButtonApply");
    panel.emulator.setFaults(faults);
    if (applyBoxes > 0) {
        QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), applyBoxes, TestWaitMs);
        QCOMPARE(boxes.seen.first(), writeError);
        QCOMPARE(panel.countFor(Wire::Setpoints, Wire::Write), writesBefore + 4);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(panel.emulator.setpoints().voltage, 7500, TestWaitMs);
    }
    QVERIFY(probe.handled > 0);
    QCOMPARE(probe.missed, 0);

    // Polling picks up the device's values again; no late box, no extra write attempt. Noise
    // that a flood left queued in the line is read one transaction a tick before the replies.
    panel.emulator.clearFaults();
    QTRY_COMPARE_WITH_TIMEOUT(shownVoltage(panel), QString("20"), drainMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->value(), 3.3,
                              TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(logLines(panel).contains(newLine), TestWaitMs);
    for (const QString &line : logLines(panel))
        QVERIFY2(line == goodLine || line == newLine, qPrintable(line));
    QCOMPARE(boxes.seen.size(), applyBoxes);
    QVERIFY(panel.countFor(Wire::Setpoints, Wire::Write) <= writesBefore + 4);
}

void FaultMatrixTest::hangUpAndReturn()
{
    QTemporaryDir dir;
    const QString linkPath = dir.filePath("ttyVORNEX");
    PanelDriver panel(linkPath, linkPath);
    QVERIFY(panel.started);
    MessageBoxWatcher boxes(50);
    startLoggingPanel(panel);

    panel.emulator.setFixedStatus(newStatus);
    panel.emulator.setFixedAdc(newAdc);
    panel.emulator.hangUp();
    const int linesAtHangUp = logLines(panel).size();
    // Ticks against a vanished device wait out their time-outs; a timer must keep firing
    // through them, not a few times a second between blocked ticks.
    int timerRuns = 0;
    QTimer heartbeat;
    heartbeat.setInterval(10);
    QObject::connect(&heartbeat, &QTimer::timeout, [&timerRuns] { ++timerRuns; });
    heartbeat.start();
    QTRY_VERIFY2_WITH_TIMEOUT(timerRuns >= 30, qPrintable(QString::number(timerRuns)), TestWaitMs);
    heartbeat.stop();
    QCOMPARE(shownVoltage(panel), QString("12.34"));
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->value(), 12.5);
    QVERIFY(logLines(panel).size() <= linesAtHangUp + 1);
    QVERIFY(boxes.seen.isEmpty());

    // The window still takes clicks; the write goes nowhere and fails once.
    panel.click("pushButtonApply");
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 1, TestWaitMs);
    QCOMPARE(boxes.seen.first(), writeError);

    QVERIFY(panel.emulator.comeBack());
    panel.disconnectPort();
    panel.connectPort();
    QTRY_COMPARE_WITH_TIMEOUT(shownVoltage(panel), QString("20"), TestWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->value(), 3.3,
                              TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(logLines(panel).contains(newLine), TestWaitMs);
    for (const QString &line : logLines(panel))
        QVERIFY2(line == goodLine || line == newLine, qPrintable(line));
    QCOMPARE(boxes.seen.size(), 1);
}

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
