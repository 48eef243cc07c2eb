#include "tests/support/messageboxwatcher.h"
#include "tests/support/paneldriver.h"
#include "tests/support/savedialoganswer.h"

#include "log/logjournal.h"
#include "settings/settingskeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// The measurement log of the running panel: lines from live reads, the settings dialog acting
// on the next tick, start/stop/clear, and export to a file.
class LogPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void oneSecondPeriodLogsOneLinePerSecond();
    void errorBoxLeavesTheLogRunning();
    void dialogChangesApplyAtTheNextTick();
    void stopThenStartAppends();
    void clearWorksInBothStates();
    void linesGoToTheEndWhateverTheSelection();
    void exportEmptyLogMakesEmptyFile();
    void exportWhileRunningAndRememberFolder();
    void cancelKeepsRememberedFolder();
    void failedExportKeepsPreviousFileAndWarns();

private:
    QString log(const PanelDriver &panel) const
    {
        return panel.widget<QTextEdit>("textEditLog")->toPlainText();
    }
    // Starts a log whose clock only moves when the test says so.
    void startManualLog(PanelDriver &panel);
    // Moves the log's clock on by stepMs (a poll period) per tick, for `ticks` ticks.
    void stepTicks(const PanelDriver &panel, int ticks, int stepMs = 250);
    // The error boxes on screen.
    QList<QMessageBox *> openBoxes(const PanelDriver &panel) const
    {
        QList<QMessageBox *> open;
        for (QMessageBox *box : panel.window->findChildren<QMessageBox *>()) {
            if (box->isVisible())
                open << box;
        }
        return open;
    }

    QTime now;
};

void LogPanelTest::init()
{
    QSettings(QStringLiteral("brenta"), QStringLiteral("TALMIR")).clear();
    now = QTime(10, 0, 0);
}

void LogPanelTest::stepTicks(const PanelDriver &panel, int ticks, int stepMs)
{
    for (int i = 0; i < ticks; ++i) {
        const int before = panel.emulator.requests().size();
        now = now.addMSecs(stepMs);
        QTRY_VERIFY_WITH_TIMEOUT(panel.emulator.requests().size() > before, TestWaitMs);
    }
}

void LogPanelTest::startManualLog(PanelDriver &panel)
{
    panel.window->SetLogClock(LogClock([this] { return now; }));
    panel.connectPort();
    panel.click("pushButtonLogStart");
    QVERIFY(!panel.widget<QWidget>("pushButtonLogStart")->isEnabled());
    QVERIFY(panel.widget<QWidget>("pushButtoLogStop")->isEnabled());
}

void LogPanelTest::oneSecondPeriodLogsOneLinePerSecond()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));
    startManualLog(panel);
    QTRY_COMPARE_WITH_TIMEOUT(log(panel).count('\n'), 1, TestWaitMs);
    stepTicks(panel, 12);
    panel.click("pushButtoLogStop");
    QCOMPARE(log(panel), QString("12.340 0.5670\n").repeated(4));
}

// A write error at night: its box waits for the operator while the log, its journal and the
// chart go on behind it, and the same failure again does not stack a second box.
void LogPanelTest::errorBoxLeavesTheLogRunning()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));
    startManualLog(panel);
    QTRY_COMPARE_WITH_TIMEOUT(log(panel).count('\n'), 1, TestWaitMs);
    FaultSettings refuse;
    refuse.nak = true;
    panel.emulator.setFaults(refuse);
    panel.click("pushButtonApply");
    QTRY_COMPARE_WITH_TIMEOUT(openBoxes(panel).size(), 1, TestWaitMs);
    QMessageBox *box = openBoxes(panel).first();
    QCOMPARE(box->windowTitle(), QString("Error"));
    QCOMPARE(box->text(), QString("Ошибка записи"));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box->windowModality(), Qt::WindowModal);

    // Ten log periods of a second pass while the box is open, each with its status read: two
    // ticks of the log's clock a period.
    const int linesAtBox = log(panel).count('\n');
    stepTicks(panel, 22, 500);
    QVERIFY2(log(panel).count('\n') >= linesAtBox + 10, qPrintable(log(panel)));
    QVERIFY(box->isVisible());
    const QString journal =
        QDir(LogJournal::DefaultFolder()).filePath(QStringLiteral("journal-1.txt"));
    QCOMPARE(Contents(journal), log(panel).toLocal8Bit());

    // The window is blocked for the mouse; a click from the keyboard's focus would do the same.
    const int writes = panel.countFor(0x03, 0x11);
    panel.widget<QPushButton>("pushButtonApply")->click();
    QTRY_COMPARE_WITH_TIMEOUT(panel.countFor(0x03, 0x11), writes + 4, TestWaitMs);
    stepTicks(panel, 2);
    QCOMPARE(openBoxes(panel).size(), 1);
    box->done(QMessageBox::Ok);
    QTRY_COMPARE_WITH_TIMEOUT(openBoxes(panel).size(), 0, TestWaitMs);
}

void LogPanelTest::dialogChangesApplyAtTheNextTick()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));
    startManualLog(panel);
    QTRY_COMPARE_WITH_TIMEOUT(log(panel), QString("12.340 0.5670\n"), TestWaitMs);

    panel.click("pushButtonLogParam");
    auto *dialog = panel.window->findChild<QDialog *>("DialogSettingsLog");
    QVERIFY(dialog->isVisible());
    dialog->findChild<QRadioButton *>("radioButtonComme")->setChecked(true);
    dialog->findChild<QCheckBox *>("checkBoxAddTime")->setChecked(true);
    dialog->findChild<QComboBox *>("comboBoxTimeForm")->setCurrentIndex(0);
    stepTicks(panel, 4);
    QCOMPARE(log(panel), QString("12.340 0.5670\n00:00:01 12,340 0,5670\n"));
    // The dialog is still open: nothing has been stored yet.
    QVERIFY(dialog->isVisible());
    QVERIFY(!QSettings("brenta", "TALMIR").contains(SettingsKeys::commeDotLog));

    dialog->findChild<QComboBox *>("comboBoxLogValue")->setCurrentIndex(1);
    AdcReadings adc;
    adc.sdadcVoltage = 12345;
    adc.sdadcCurrent = 321;
    panel.emulator.setFixedAdc(adc);
    stepTicks(panel, 4);
    QVERIFY2(log(panel).endsWith("00:00:02 12,345 0,3210\n"), qPrintable(log(panel)));
}

void LogPanelTest::stopThenStartAppends()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1000, 100));
    startManualLog(panel);
    QTRY_COMPARE_WITH_TIMEOUT(log(panel).count('\n'), 1, TestWaitMs);

    panel.click("pushButtoLogStop");
    QVERIFY(panel.widget<QWidget>("pushButtonLogStart")->isEnabled());
    stepTicks(panel, 8);
    QCOMPARE(log(panel).count('\n'), 1);

    panel.emulator.setFixedStatus(RunningStatus(2000, 200));
    stepTicks(panel, 2);
    panel.click("pushButtonLogStart");
    // The first line of the new run is due at once.
    QTRY_COMPARE_WITH_TIMEOUT(log(panel), QString("10.000 0.1000\n20.000 0.2000\n"), TestWaitMs);
}

void LogPanelTest::clearWorksInBothStates()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1000, 100));
    startManualLog(panel);
    QTRY_COMPARE_WITH_TIMEOUT(log(panel).count('\n'), 1, TestWaitMs);
    panel.click("pushButtonLogClear");
    QCOMPARE(log(panel), QString());
    stepTicks(panel, 4);
    QCOMPARE(log(panel), QString("10.000 0.1000\n"));
    panel.click("pushButtoLogStop");
    panel.click("pushButtonLogClear");
    QCOMPARE(log(panel), QString());
    QVERIFY(panel.widget<QWidget>("pushButtonLogStart")->isEnabled());
}

void LogPanelTest::linesGoToTheEndWhateverTheSelection()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1000, 100));
    startManualLog(panel);
    QTRY_COMPARE_WITH_TIMEOUT(log(panel).count('\n'), 1, TestWaitMs);
    stepTicks(panel, 4);
    QCOMPARE(log(panel).count('\n'), 2);

    auto *view = panel.widget<QTextEdit>("textEditLog");
    QTextCursor selection(view->document());
    selection.setPosition(2);
    selection.setPosition(9, QTextCursor::KeepAnchor);
    view->setTextCursor(selection);
    panel.emulator.setFixedStatus(RunningStatus(3000, 300));
    stepTicks(panel, 4);
    QCOMPARE(log(panel).count('\n'), 3);
    QCOMPARE(log(panel), QString("10.000 0.1000\n10.000 0.1000\n30.000 0.3000\n"));
    QVERIFY(view->textCursor().hasSelection());
}

void LogPanelTest::exportEmptyLogMakesEmptyFile()
{
    QTemporaryDir dir;
    PanelDriver panel;
    const QString path = dir.filePath("empty.txt");
    SaveDialogAnswer answer(path);
    panel.click("pushButtonLogSave");
    QCOMPARE(answer.shown, 1);
    // A fresh installation offers the current directory.
    QCOMPARE(answer.offeredFolder, QDir::currentPath());
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path).size(), 0);
}

void LogPanelTest::exportWhileRunningAndRememberFolder()
{
    QTemporaryDir dir;
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));
    startManualLog(panel);
    QTRY_COMPARE_WITH_TIMEOUT(log(panel).count('\n'), 1, TestWaitMs);

    const QString path = dir.filePath("run.txt");
    {
        SaveDialogAnswer answer(path);
        panel.click("pushButtonLogSave");
        QCOMPARE(answer.shown, 1);
    }
    QCOMPARE(Contents(path), QByteArray("12.340 0.5670\n"));
    // Logging goes on after the export.
    stepTicks(panel, 4);
    QCOMPARE(log(panel).count('\n'), 2);

    SaveDialogAnswer again(QString{});
    panel.click("pushButtonLogSave");
    QCOMPARE(again.offeredFolder, QFileInfo(dir.path()).absoluteFilePath());
}

void LogPanelTest::cancelKeepsRememberedFolder()
{
    QSettings store("brenta", "TALMIR");
    store.setValue(SettingsKeys::dirLogFile, QDir::tempPath());
    store.sync();
    PanelDriver panel;
    SaveDialogAnswer answer(QString{});
    panel.click("pushButtonLogSave");
    QCOMPARE(answer.shown, 1);
    QCOMPARE(answer.offeredFolder, QDir(QDir::tempPath()).absolutePath());
    QSettings after("brenta", "TALMIR");
    QCOMPARE(after.value(SettingsKeys::dirLogFile).toString(), QDir::tempPath());
}

void LogPanelTest::failedExportKeepsPreviousFileAndWarns()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("previous.txt");
    {
        QFile previous(path);
        QVERIFY(previous.open(QIODevice::WriteOnly));
        previous.write("old\n");
    }
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));
    startManualLog(panel);
    QTRY_COMPARE_WITH_TIMEOUT(log(panel).count('\n'), 1, TestWaitMs);
    panel.click("pushButtoLogStop");

    // A file-size limit makes the write fail even for root, like a full disk would.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    MessageBoxWatcher boxes;
    {
        SaveDialogAnswer answer(path);
        panel.click("pushButtonLogSave");
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(boxes.seen, QStringList{"Ошибка|Не удается сохранить файл"});
    QCOMPARE(Contents(path), QByteArray("old\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"previous.txt"});
    // The folder is remembered even though the export failed.
    QSettings store("brenta", "TALMIR");
    QCOMPARE(store.value(SettingsKeys::dirLogFile).toString(), dir.path());
}

QTEST_MAIN(LogPanelTest)
#include "tst_logpanel.moc"
