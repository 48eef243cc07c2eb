#include "app/countertext.h"
#include "app/lcdtext.h"
#include "session/portlist.h"
#include "session/portmatch.h"
#include "session/writeretry.h"

#include <QDir>
#include <QtTest>

// The widget-free decisions of the panel: display and counter text, write retries and the port
// list.
class PanelLogicTest : public QObject
{
    Q_OBJECT

private slots:
    void lcdText_data();
    void lcdText();
    void counterAmountText_data();
    void counterAmountText();
    void counterDurationText_data();
    void counterDurationText();
    void counterResetText();
    void writeAttemptsGiveUpAfterFour();
    void writeSuccessEndsAtOnce_data();
    void writeSuccessEndsAtOnce();
    void portNames_data();
    void portNames();
    void portToSelect_data();
    void portToSelect();
    void fineRangeCurrent_data();
    void fineRangeCurrent();
    void returnedPort_data();
    void returnedPort();
};

void PanelLogicTest::lcdText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("pointAfter");
    QTest::addColumn<QString>("text");

    QTest::newRow("volts") << 1234 << 1 << "12.34";
    QTest::newRow("small volts keep zeros") << 5 << 1 << "00.05";
    QTest::newRow("amperes") << 1234 << 0 << "1.234";
    QTest::newRow("zero amperes") << 0 << 0 << "0.000";
    QTest::newRow("largest") << 9999 << 1 << "99.99";
    QTest::newRow("small negative current") << -5 << 0 << "-.005";
    QTest::newRow("negative volts") << -5 << 1 << "-0.05";
    QTest::newRow("negative with leading digit drops the last") << -1234 << 0 << "-1.23";
    QTest::newRow("too large volts") << 10000 << 1 << "--.--";
    QTest::newRow("too large amperes") << 65535 << 0 << "-.---";
    QTest::newRow("too negative") << -10000 << 0 << "-.---";
    QTest::newRow("most negative") << int(std::numeric_limits<qint32>::min()) << 1 << "--.--";
}

void PanelLogicTest::lcdText()
{
    QFETCH(int, value);
    QFETCH(int, pointAfter);
    QFETCH(QString, text);
    const QString shown = LcdText(value, pointAfter, 4);
    QCOMPARE(shown, text);
    // Five positions: the point takes one of them on this display.
    QVERIFY(shown.size() <= 5);
}

void PanelLogicTest::counterAmountText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0.00000 А·ч";
    QTest::newRow("below one") << 0.123456 << "0.12346 А·ч";
    QTest::newRow("tens") << 12.345678 << "12.3457 А·ч";
    QTest::newRow("thousands") << 1234.5678 << "1234.57 А·ч";
    QTest::newRow("six whole digits") << 123456.7 << "123457 А·ч";
    QTest::newRow("beyond six digits") << 12345678.9 << "12345679 А·ч";
}

void PanelLogicTest::counterAmountText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(CounterAmountText(value, QStringLiteral("А·ч")), text);
}

void PanelLogicTest::counterDurationText_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0:00:00";
    QTest::newRow("a part of a second counts as none") << 59.99 << "0:00:59";
    QTest::newRow("hours minutes seconds") << 3723.0 << "1:02:03";
    QTest::newRow("past a day") << 97200.0 << "27:00:00";
    QTest::newRow("negative") << -5.0 << "0:00:00";
}

void PanelLogicTest::counterDurationText()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(CounterDurationText(seconds), text);
}

void PanelLogicTest::counterResetText()
{
    QCOMPARE(CounterResetText(QDateTime()), QString("не сбрасывались"));
    // The counters keep UTC; the panel says the local time.
    const QDateTime local(QDate(2026, 12, 11), QTime(3, 12, 45));
    QCOMPARE(CounterResetText(local.toUTC()), QString("с 11.12.2026 03:12"));
}

void PanelLogicTest::writeAttemptsGiveUpAfterFour()
{
    int retryCount = 0;
    QCOMPARE(JudgeWriteAttempt(NoReply, retryCount), AttemptVerdict::Retry);
    QCOMPARE(JudgeWriteAttempt(BadReply, retryCount), AttemptVerdict::Retry);
    QCOMPARE(JudgeWriteAttempt(NoReply, retryCount), AttemptVerdict::Retry);
    QCOMPARE(retryCount, 3);
    QCOMPARE(JudgeWriteAttempt(NoReply, retryCount), AttemptVerdict::GiveUp);
    QCOMPARE(retryCount, 3);
}

void PanelLogicTest::writeSuccessEndsAtOnce_data()
{
    QTest::addColumn<int>("failuresBefore");
    for (int failures = 0; failures <= 3; ++failures)
        QTest::addRow("after %d failures", failures) << failures;
}

void PanelLogicTest::writeSuccessEndsAtOnce()
{
    QFETCH(int, failuresBefore);
    int retryCount = 0;
    for (int i = 0; i < failuresBefore; ++i)
        QCOMPARE(JudgeWriteAttempt(NoReply, retryCount), AttemptVerdict::Retry);
    QCOMPARE(JudgeWriteAttempt(Success, retryCount), AttemptVerdict::Finished);
    QCOMPARE(retryCount, failuresBefore);
}

void PanelLogicTest::portNames_data()
{
    const QString sep = QDir::listSeparator();
    QTest::addColumn<QStringList>("enumerated");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("unset") << QStringList{"ttyS0", "ttyUSB0"} << QString() << QStringList()
                           << QStringList{"ttyS0", "ttyUSB0"};
    QTest::newRow("extra first") << QStringList{"ttyS0"} << "/tmp/a" + sep + "/tmp/b"
                                 << QStringList{"/tmp/a", "/tmp/b"}
                                 << QStringList{"/tmp/a", "/tmp/b", "ttyS0"};
    QTest::newRow("empty entries skipped") << QStringList{} << sep + "/tmp/a" + sep + sep
                                           << QStringList{"/tmp/a"} << QStringList{"/tmp/a"};
    QTest::newRow("missing extra left out")
        << QStringList{"ttyS0"} << "/tmp/gone" + sep + "/tmp/here" << QStringList{"/tmp/here"}
        << QStringList{"/tmp/here", "ttyS0"};
    QTest::newRow("extra the system lists stays first, once")
        << QStringList{"COM1", "COM7"} << "COM7" << QStringList() << QStringList{"COM7", "COM1"};
    QTest::newRow("named twice") << QStringList{} << "/tmp/a" + sep + "/tmp/a"
                                 << QStringList{"/tmp/a"} << QStringList{"/tmp/a"};
}

void PanelLogicTest::portNames()
{
    QFETCH(QStringList, enumerated);
    QFETCH(QString, extra);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, names);
    const auto exists = [&existing](const QString &path) { return existing.contains(path); };
    QCOMPARE(PortNames(enumerated, extra, exists), names);
}

void PanelLogicTest::portToSelect_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<int>("index");

    const QStringList names{"/tmp/sim", "ttyS0", "ttyUSB0"};
    QTest::newRow("start-up, nothing remembered") << names << ""
                                                  << "" << 0;
    QTest::newRow("start-up, remembered port listed") << names << ""
                                                      << "ttyUSB0" << 2;
    QTest::newRow("remembered port gone") << names << ""
                                          << "ttyUSB1" << 0;
    QTest::newRow("garbage remembered") << names << ""
                                        << "\x01 nonsense" << 0;
    QTest::newRow("selection kept") << names << "ttyS0"
                                    << "ttyUSB0" << 1;
    QTest::newRow("selection gone, remembered taken") << names << "ttyACM0"
                                                      << "ttyUSB0" << 2;
    QTest::newRow("empty list") << QStringList() << "ttyS0"
                                << "ttyS0" << -1;
}

void PanelLogicTest::portToSelect()
{
    QFETCH(QStringList, names);
    QFETCH(QString, current);
    QFETCH(QString, remembered);
    QFETCH(int, index);
    QCOMPARE(PortToSelect(names, current, remembered), index);
}

void PanelLogicTest::fineRangeCurrent_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("text");

    QTest::newRow("normal range, mA") << 1234 << 0 << "1.234";
    QTest::newRow("fine range, 0.1 mA") << 1234 << 1 << "0.123";
    QTest::newRow("fine range rounds half up") << 1235 << 1 << "0.124";
    QTest::newRow("fine range rounds down") << 1234 << 7 << "0.123";
    QTest::newRow("fine range below 1 mA") << 4 << 1 << "0.000";
    QTest::newRow("fine range half of 1 mA") << 5 << 1 << "0.001";
    QTest::newRow("fine range negative") << -15 << 1 << "-.002";
    QTest::newRow("fine range largest") << 32767 << 1 << "3.277";
}

void PanelLogicTest::fineRangeCurrent()
{
    QFETCH(int, current);
    QFETCH(int, range);
    QFETCH(QString, text);
    OutputStatus status;
    status.current = current;
    status.currentRange = range;
    QCOMPARE(CurrentLcdText(status), text);
}

void PanelLogicTest::returnedPort_data()
{
    QTest::addColumn<QString>("lostName");
    QTest::addColumn<QString>("lostSerial");
    QTest::addColumn<QStringList>("listed"); // "name=serial"
    QTest::addColumn<QString>("name");

    QTest::newRow("no serial: same name, listed or not")
        << "/tmp/ttyVORNEX"
        << "" << QStringList{"ttyS0="} << "/tmp/ttyVORNEX";
    QTest::newRow("back under its name") << "ttyUSB0"
                                         << "A10K" << QStringList{"ttyUSB0=A10K"} << "ttyUSB0";
    QTest::newRow("back under another name")
        << "ttyUSB0"
        << "A10K" << QStringList{"ttyS0=", "ttyUSB1=A10K"} << "ttyUSB1";
    QTest::newRow("COM3 to COM5") << "COM3"
                                  << "FT99" << QStringList{"COM1=", "COM5=FT99"} << "COM5";
    QTest::newRow("another adapter took the name") << "ttyUSB0"
                                                   << "A10K" << QStringList{"ttyUSB0=B20X"} << "";
    QTest::newRow("own name preferred")
        << "ttyUSB0"
        << "A10K" << QStringList{"ttyUSB2=A10K", "ttyUSB0=A10K"} << "ttyUSB0";
    QTest::newRow("not back yet") << "ttyUSB0"
                                  << "A10K" << QStringList{"ttyS0="} << "";
}

void PanelLogicTest::returnedPort()
{
    QFETCH(QString, lostName);
    QFETCH(QString, lostSerial);
    QFETCH(QStringList, listed);
    QFETCH(QString, name);
    QVector<PortIdentity> available;
    for (const QString &entry : listed)
        available << PortIdentity{entry.section('=', 0, 0), entry.section('=', 1)};
    QCOMPARE(ReturnedPortName(PortIdentity{lostName, lostSerial}, available), name);
}

QTEST_APPLESS_MAIN(PanelLogicTest)
#include "tst_panellogic.moc"
