#include "log/journalfiles.h"
#include "log/logjournal.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool WriteRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList KeptAside(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("journal-2[0-9][0-9][0-9]-*.txt")}, QDir::Files);
}

const QByteArray twoLines("00:00:01 12.340 0.5670\n00:00:02 12.340 0.5670\n");

} // namespace

// The log journal on real files: what it writes, what a session that did not end cleanly
// leaves for the next start, and how it behaves when the disk will not take it.
class TestLogJournal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void completeLines_data();
    void completeLines();
    void cleanEndLeavesNothingToOffer();
    void leftoverIsOfferedAndResumed_data();
    void leftoverIsOfferedAndResumed();
    void declinedLeftoverIsKeptAsideUnderADatedName();
    void liveJournalOfAnotherWindowIsNeverTaken();
    void unwritableJournalStopsOnceAndTheLogGoesOn_data();
    void unwritableJournalStopsOnceAndTheLogGoesOn();

private:
    // A journal of slot 1 as a session that was killed leaves it: no clean-end mark.
    void leaveLeftover(const QByteArray &bytes) const;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestLogJournal::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestLogJournal::leaveLeftover(const QByteArray &bytes) const
{
    QVERIFY(WriteRaw(dir->filePath(QStringLiteral("journal-1.txt")), bytes));
}

void TestLogJournal::completeLines_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<bool>("wholeFile");
    QTest::addColumn<QByteArray>("lines");

    QTest::newRow("whole lines") << twoLines << true << twoLines;
    QTest::newRow("cut last line dropped")
        << QByteArray("1.000 0.1000\n2.00") << true << QByteArray("1.000 0.1000\n");
    QTest::newRow("only a cut line") << QByteArray("2.00") << true << QByteArray();
    QTest::newRow("empty") << QByteArray() << true << QByteArray();
    QTest::newRow("invalid bytes pass") << QByteArray("1.0\xff\xfe 0\x00\r\n", 10) << true
                                        << QByteArray("1.0\xff\xfe 0\x00\r\n", 10);
    QTest::newRow("tail starts mid-line")
        << QByteArray("000 0.1000\n2.000 0.2000\n3.0") << false << QByteArray("2.000 0.2000\n");
    QTest::newRow("tail inside one line") << QByteArray("000 0.10") << false << QByteArray();
}

void TestLogJournal::completeLines()
{
    QFETCH(QByteArray, tail);
    QFETCH(bool, wholeFile);
    QTEST(CompleteJournalLines(tail, wholeFile), "lines");
}

void TestLogJournal::cleanEndLeavesNothingToOffer()
{
    {
        LogJournal journal(dir->path());
        QVERIFY(!journal.Open());
        journal.Append(twoLines);
    }
    // The closed journal stays readable until the next session starts its own.
    QCOMPARE(Contents(dir->filePath(QStringLiteral("journal-1.txt"))), twoLines);
    LogJournal next(dir->path());
    QVERIFY(!next.Open());
    QCOMPARE(next.FilePath(), dir->filePath(QStringLiteral("journal-1.txt")));
    QCOMPARE(Contents(next.FilePath()), QByteArray());
    QVERIFY(KeptAside(dir->path()).isEmpty());
}

void TestLogJournal::leftoverIsOfferedAndResumed_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QByteArray>("restored");
    QTest::addColumn<bool>("partial");

    const qint64 limit = LogJournal::defaultRestoreLimit;
    QTest::newRow("intact") << twoLines << limit << twoLines << false;
    QTest::newRow("cut last line") << twoLines + "00:00:03 12.3" << limit << twoLines << false;
    QTest::newRow("invalid bytes")
        << QByteArray("\xff\xfe 1.000\n") << limit << QByteArray("\xff\xfe 1.000\n") << false;
    QByteArray large;
    for (int line = 0; line < 100; ++line)
        large += QByteArray::number(1000 + line) + " 1.000 0.1000\n";
    // The last 100 bytes start inside a line, which is dropped with the rest of the front.
    QTest::newRow("larger than the limit") << large << qint64(100) << large.right(90) << true;
}

void TestLogJournal::leftoverIsOfferedAndResumed()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, limit);
    QFETCH(QByteArray, restored);
    QFETCH(bool, partial);
    leaveLeftover(file);

    LogJournal journal(dir->path(), limit);
    const std::optional<JournalLeftover> leftover = journal.Open();
    QVERIFY(leftover);
    QCOMPARE(leftover->lines, restored);
    QCOMPARE(leftover->partial, partial);
    // Nothing is touched before the operator has answered.
    QCOMPARE(Contents(journal.FilePath()), file);
    QVERIFY(!journal.IsWriting());

    journal.Resume(restored);
    QVERIFY(journal.IsWriting());
    journal.Append("9.000 0.9000\n");
    QCOMPARE(Contents(journal.FilePath()), restored + "9.000 0.9000\n");
    const QStringList aside = KeptAside(dir->path());
    if (file == restored) {
        QVERIFY(aside.isEmpty());
    } else {
        // Whatever the view could not take back stays on disk as it was.
        QCOMPARE(aside.size(), 1);
        QCOMPARE(journal.KeptAsidePath(), dir->filePath(aside.first()));
        QCOMPARE(Contents(journal.KeptAsidePath()), file);
    }
}

void TestLogJournal::declinedLeftoverIsKeptAsideUnderADatedName()
{
    const QString slotFile = dir->filePath(QStringLiteral("journal-1.txt"));
    for (int session = 1; session <= 2; ++session) {
        // The session before ended without its clean-end mark, as a crash leaves it.
        QFile::remove(dir->filePath(QStringLiteral("journal-1.closed")));
        leaveLeftover(twoLines);
        // Both leftovers were last written in the same second.
        QFile written(slotFile);
        QVERIFY(written.open(QIODevice::ReadWrite));
        QVERIFY(written.setFileTime(QDateTime(QDate(2026, 3, 1), QTime(23, 59, 58)),
                                    QFileDevice::FileModificationTime));
        written.close();
        LogJournal journal(dir->path());
        QVERIFY(journal.Open());
        journal.KeepAside();
        QVERIFY(journal.IsWriting());
        QCOMPARE(Contents(slotFile), QByteArray());
        journal.Append("1.000 0.1000\n");
        QCOMPARE(Contents(slotFile), QByteArray("1.000 0.1000\n"));
    }
    QCOMPARE(KeptAside(dir->path()),
             (QStringList{"journal-2026-03-01-235958-2.txt", "journal-2026-03-01-235958.txt"}));
    for (const QString &name : KeptAside(dir->path()))
        QCOMPARE(Contents(dir->filePath(name)), twoLines);
}

void TestLogJournal::liveJournalOfAnotherWindowIsNeverTaken()
{
    LogJournal first(dir->path());
    QVERIFY(!first.Open());
    first.Append(twoLines);
    // A lock untouched for an hour counts as stale by its age, yet its owner still holds it.
    QFile lock(dir->filePath(QStringLiteral("journal-1.lock")));
    QVERIFY(lock.open(QIODevice::ReadOnly));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                             QFileDevice::FileModificationTime));
    lock.close();

    LogJournal second(dir->path());
    QVERIFY(!second.Open());
    QCOMPARE(second.FilePath(), dir->filePath(QStringLiteral("journal-2.txt")));
    second.Append("2.000 0.2000\n");
    first.Append("3.000 0.3000\n");
    QCOMPARE(Contents(first.FilePath()), twoLines + "3.000 0.3000\n");
    QCOMPARE(Contents(second.FilePath()), QByteArray("2.000 0.2000\n"));
}

void TestLogJournal::unwritableJournalStopsOnceAndTheLogGoesOn_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("sizeLimit");
    QTest::addColumn<bool>("needsPermissions");

    QTest::newRow("folder is a file") << "plain.txt/log" << 0 << false;
    QTest::newRow("read-only folder") << "readonly" << 0 << true;
    // Room for the lock and the first four appends, not for the fifth.
    QTest::newRow("disk full") << "full" << 200 << false;
}

void TestLogJournal::unwritableJournalStopsOnceAndTheLogGoesOn()
{
    QFETCH(QString, folder);
    QFETCH(int, sizeLimit);
    QFETCH(bool, needsPermissions);
#ifdef Q_OS_UNIX
    if (needsPermissions && geteuid() == 0)
        QSKIP("folder permissions do not bind the superuser");
#else
    if (needsPermissions || sizeLimit > 0)
        QSKIP("needs folder permissions and a file size limit, which Windows has not");
#endif
    const QDir root(dir->path());
    QVERIFY(WriteRaw(root.filePath(QStringLiteral("plain.txt")), "x"));
    QVERIFY(root.mkdir(QStringLiteral("readonly")));
    QVERIFY(QFile::setPermissions(root.filePath(QStringLiteral("readonly")),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner));

#ifdef Q_OS_UNIX
    // A file-size limit refuses the write past it even for the superuser, as a full disk would.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    if (sizeLimit > 0)
        small.rlim_cur = rlim_t(sizeLimit);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
#endif
    {
        LogJournal journal(root.filePath(folder));
        QSignalSpy stopped(&journal, &LogJournal::stopped);
        QVERIFY(!journal.Open());
        // A full disk shows only once the lines no longer fit.
        QCOMPARE(journal.IsWriting(), sizeLimit > 0);
        for (int line = 0; line < 5; ++line)
            journal.Append(twoLines);
        journal.Clear();
        journal.Append(twoLines);
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!stopped.first().first().toString().isEmpty());
        QVERIFY(!journal.IsWriting());
    }
#ifdef Q_OS_UNIX
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
#endif
    QVERIFY(QFile::setPermissions(root.filePath(QStringLiteral("readonly")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner));
    // What reached the disk before it filled up is the start of the log.
    if (sizeLimit > 0) {
        const QByteArray kept = Contents(root.filePath(QStringLiteral("full/journal-1.txt")));
        QVERIFY(kept.startsWith(twoLines));
        QVERIFY(twoLines.repeated(5).startsWith(kept));
    }
}

QTEST_GUILESS_MAIN(TestLogJournal)
#include "tst_logjournal.moc"
