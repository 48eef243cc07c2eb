#include "tests/support/paneldriver.h"
#include "tests/support/restoreanswer.h"
#include "tests/support/savedialoganswer.h"

#include "log/logjournal.h"

#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr int childWaitMs = 30000;

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

OutputStatus Status(int voltage, int current)
{
    OutputStatus status;
    status.voltage = voltage;
    status.current = current;
    status.cvMode = 1;
    status.outputOn = 1;
    return status;
}

} // namespace

// The log journal of the running panel: a panel killed with SIGKILL leaves a journal that the
// next start offers back, and the journal follows the log to the byte.
class LogJournalPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void killedPanelIsOfferedBackAndRestoredExactly();
    void declinedJournalIsKeptAside();
    void journalHoldsTheExportAndClearEmptiesIt();
    void secondWindowNeitherSharesNorAsks();
    void unwritableJournalIsReportedOnceAndTheLogGoesOn_data();
    void unwritableJournalIsReportedOnceAndTheLogGoesOn();

private:
    // Runs a panel in a child process until it has logged `lines` lines, kills it with SIGKILL
    // and returns in `shown` what its log showed.
    void runKilledPanel(int lines, QByteArray &shown);
    QString log(const PanelDriver &panel) const
    {
        return panel.widget<QTextEdit>("textEditLog")->toPlainText();
    }
    QString journalFile(int slot) const
    {
        return QDir(LogJournal::DefaultFolder())
            .filePath(QStringLiteral("journal-%1.txt").arg(slot));
    }
    QStringList keptAside() const
    {
        return QDir(LogJournal::DefaultFolder())
            .entryList({QStringLiteral("journal-2[0-9][0-9][0-9]-*.txt")}, QDir::Files);
    }

    std::unique_ptr<QTemporaryDir> data;
    QByteArray dataHome;
};

void LogJournalPanelTest::init()
{
    data = std::make_unique<QTemporaryDir>();
    QVERIFY(data->isValid());
    dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data->path().toLocal8Bit());
}

void LogJournalPanelTest::cleanup()
{
    qputenv("XDG_DATA_HOME", dataHome);
}

void LogJournalPanelTest::runKilledPanel(int lines, QByteArray &shown)
{
    const QString shownPath = data->filePath(QStringLiteral("shown.txt"));
    QProcess child;
    child.setStandardOutputFile(QProcess::nullDevice());
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(JOURNAL_CHILD_PATH),
                {QCoreApplication::applicationName(), QString::number(lines), shownPath});
    QVERIFY(child.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(shownPath), childWaitMs);
    QCOMPARE(::kill(pid_t(child.processId()), SIGKILL), 0);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    shown = Contents(shownPath);
    QVERIFY(shown.count('\n') >= lines);
}

void LogJournalPanelTest::killedPanelIsOfferedBackAndRestoredExactly()
{
    QByteArray shown;
    runKilledPanel(5, shown);
    QCOMPARE(Contents(journalFile(1)), shown);

    RestoreAnswer answer(QMessageBox::Yes);
    PanelDriver panel;
    QCOMPARE(answer.asked, QStringList{"Восстановить лог предыдущего сеанса?"});
    QCOMPARE(log(panel).toLocal8Bit(), shown);
    QVERIFY(keptAside().isEmpty());

    // The restored log goes on: new lines follow it in the view, in the journal and the export.
    panel.emulator.setFixedStatus(Status(2000, 200));
    panel.connectPort();
    panel.click("pushButtonLogStart");
    QTRY_COMPARE_WITH_TIMEOUT(log(panel).toLocal8Bit(), shown + "20.000 0.2000\n", TestWaitMs);
    QCOMPARE(Contents(journalFile(1)), shown + "20.000 0.2000\n");
    const QString exported = data->filePath(QStringLiteral("export.txt"));
    {
        SaveDialogAnswer save(exported);
        panel.click("pushButtonLogSave");
    }
    QCOMPARE(Contents(exported), Contents(journalFile(1)));
}

void LogJournalPanelTest::declinedJournalIsKeptAside()
{
    QByteArray shown;
    runKilledPanel(3, shown);
    {
        RestoreAnswer answer(QMessageBox::No);
        PanelDriver panel;
        QCOMPARE(answer.asked.size(), 1);
        QCOMPARE(log(panel), QString());
        QCOMPARE(Contents(journalFile(1)), QByteArray());
    }
    QCOMPARE(keptAside().size(), 1);
    QCOMPARE(Contents(QDir(LogJournal::DefaultFolder()).filePath(keptAside().first())), shown);

    // The declined journal is not offered again, and the clean end leaves nothing to offer.
    RestoreAnswer none(QMessageBox::Yes);
    PanelDriver again;
    QVERIFY(none.asked.isEmpty());
}

void LogJournalPanelTest::journalHoldsTheExportAndClearEmptiesIt()
{
    RestoreAnswer none(QMessageBox::Yes);
    PanelDriver panel;
    panel.emulator.setFixedStatus(Status(1000, 100));
    panel.connectPort();
    // Whatever the view shows is on disk already: a panel killed at that moment restores it.
    QStringList shownNotOnDisk;
    connect(panel.widget<QTextEdit>("textEditLog"), &QTextEdit::textChanged, this, [&] {
        const QString shown = log(panel);
        if (!shown.isEmpty() && !Contents(journalFile(1)).startsWith(shown.toLocal8Bit()))
            shownNotOnDisk << shown;
    });
    panel.click("pushButtonLogStart");
    QTRY_VERIFY_WITH_TIMEOUT(log(panel).count('\n') >= 2, TestWaitMs);
    panel.click("pushButtoLogStop");
    QCOMPARE(Contents(journalFile(1)), log(panel).toLocal8Bit());
    QCOMPARE(shownNotOnDisk, QStringList());

    panel.click("pushButtonLogClear");
    QCOMPARE(Contents(journalFile(1)), QByteArray());
    panel.click("pushButtonLogStart");
    QTRY_COMPARE_WITH_TIMEOUT(log(panel), QString("10.000 0.1000\n"), TestWaitMs);
    QCOMPARE(Contents(journalFile(1)), QByteArray("10.000 0.1000\n"));
    QVERIFY(none.asked.isEmpty());
}

void LogJournalPanelTest::secondWindowNeitherSharesNorAsks()
{
    RestoreAnswer none(QMessageBox::Yes);
    PanelDriver first;
    first.emulator.setFixedStatus(Status(1000, 100));
    first.connectPort();
    first.click("pushButtonLogStart");
    QTRY_VERIFY_WITH_TIMEOUT(!log(first).isEmpty(), TestWaitMs);

    // The first window's journal has no clean-end mark while it runs; the second must not take
    // it for a leftover.
    PanelDriver second;
    second.emulator.setFixedStatus(Status(2000, 200));
    second.connectPort();
    second.click("pushButtonLogStart");
    QTRY_VERIFY_WITH_TIMEOUT(!log(second).isEmpty(), TestWaitMs);
    first.click("pushButtoLogStop");
    second.click("pushButtoLogStop");
    QVERIFY(none.asked.isEmpty());
    QCOMPARE(Contents(journalFile(1)), log(first).toLocal8Bit());
    QCOMPARE(Contents(journalFile(2)), log(second).toLocal8Bit());
}

void LogJournalPanelTest::unwritableJournalIsReportedOnceAndTheLogGoesOn_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("no folder") << false;
    QTest::newRow("disk full") << true;
}

void LogJournalPanelTest::unwritableJournalIsReportedOnceAndTheLogGoesOn()
{
    QFETCH(bool, diskFull);
    if (!diskFull) {
        // The data folder is taken by a file, which binds the superuser too.
        const QString blocker = data->filePath(QStringLiteral("blocker"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    }
    PanelDriver panel;
    auto notices = [&panel] {
        return panel.window->statusBar()->findChildren<QLabel *>("labelJournalStopped");
    };
    QCOMPARE(notices().size(), diskFull ? 0 : 1);

    panel.emulator.setFixedStatus(Status(1000, 100));
    // Opening the port writes a lock file, which the limit below would refuse.
    panel.connectPort();
    // A file-size limit makes the disk refuse the third line, like a full disk.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 40;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    panel.click("pushButtonLogStart");
    QTRY_VERIFY_WITH_TIMEOUT(log(panel).count('\n') >= 5, 3 * TestWaitMs);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(notices().size(), 1);
    QVERIFY(notices().first()->isVisible());
    QVERIFY(log(panel).startsWith("10.000 0.1000\n10.000 0.1000\n10.000 0.1000\n"));
    if (diskFull)
        QVERIFY(log(panel).toLocal8Bit().startsWith(Contents(journalFile(1))));
}

QTEST_MAIN(LogJournalPanelTest)
#include "tst_logjournalpanel.moc"
