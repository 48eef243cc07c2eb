#include "app/lcdtext.h"
#include "app/portlist.h"
#include "session/writeretry.h"

#include <QDir>
#include <QtTest>

// The widget-free decisions of the panel: display text, write retries and the port list.
class PanelLogicTest : public QObject
{
    Q_OBJECT

private slots:
    void lcdText_data();
    void lcdText();
    void writeAttemptsGiveUpAfterFour();
    void writeSuccessEndsAtOnce_data();
    void writeSuccessEndsAtOnce();
    void portNames_data();
    void portNames();
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
    QTest::addColumn<QStringList>("names");

    QTest::newRow("unset") << QStringList{"ttyS0", "ttyUSB0"} << QString()
                           << QStringList{"ttyS0", "ttyUSB0"};
    QTest::newRow("extra first") << QStringList{"ttyS0"} << "/tmp/a" + sep + "/tmp/b"
                                 << QStringList{"/tmp/a", "/tmp/b", "ttyS0"};
    QTest::newRow("empty entries skipped")
        << QStringList{} << sep + "/tmp/a" + sep + sep << QStringList{"/tmp/a"};
}

void PanelLogicTest::portNames()
{
    QFETCH(QStringList, enumerated);
    QFETCH(QString, extra);
    QFETCH(QStringList, names);
    QCOMPARE(PortNames(enumerated, extra), names);
}

QTEST_APPLESS_MAIN(PanelLogicTest)
#include "tst_panellogic.moc"
