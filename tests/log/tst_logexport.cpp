#include "log/logexport.h"

#include <QDir>
#include <QFile>
#include <QSettings>
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
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool WriteRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QByteArray previous("01:00:00 1.000 0.1000\n01:00:01 1.000 0.1000\n");

// A log long enough to pass any write buffer.
QString LongLog()
{
    QString text;
    for (int line = 0; line < 20000; ++line)
        text += QStringLiteral("00:00:%1 12.340 0.5670\n").arg(line % 60, 2, 10, QLatin1Char('0'));
    return text;
}
} // namespace

class TestLogExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void writesTheTextByteForByte_data();
    void writesTheTextByteForByte();
    void replacesAnExistingFileEntirely();
    void failureLeavesEverythingAsItWas_data();
    void failureLeavesEverythingAsItWas();
    void shortWriteKeepsThePreviousFile();
    void startFolderFollowsTheLastExport();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestLogExport::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestLogExport::writesTheTextByteForByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty log") << QString() << QByteArray();
    QTest::newRow("lines keep a lone line feed")
        << "12.340 0.5670\n01:02:03 12,340 0,5670\n20 0.000 -0.0050\n"
        << QByteArray("12.340 0.5670\n01:02:03 12,340 0,5670\n20 0.000 -0.0050\n");
}

void TestLogExport::writesTheTextByteForByte()
{
    QFETCH(QString, text);
    const QString path = dir->filePath(QStringLiteral("log.txt"));
    QVERIFY(WriteLogFile(path, text));
    QVERIFY(QFile::exists(path));
    QTEST(Contents(path), "bytes");
    QCOMPARE(Contents(path), text.toLocal8Bit());
}

void TestLogExport::replacesAnExistingFileEntirely()
{
    const QString path = dir->filePath(QStringLiteral("log.txt"));
    QVERIFY(WriteRaw(path, previous));
    QVERIFY(WriteLogFile(path, QStringLiteral("2.000 0.2000\n")));
    QCOMPARE(Contents(path), QByteArray("2.000 0.2000\n"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"log.txt"});
}

void TestLogExport::failureLeavesEverythingAsItWas_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("needsPermissions");

    QTest::newRow("target is a folder") << "folder" << false;
    QTest::newRow("folder does not exist") << "missing/log.txt" << false;
    QTest::newRow("folder is a file") << "plain.txt/log.txt" << false;
    QTest::newRow("read-only folder") << "readonly/log.txt" << true;
}

void TestLogExport::failureLeavesEverythingAsItWas()
{
    QFETCH(QString, target);
    QFETCH(bool, needsPermissions);
#ifdef Q_OS_UNIX
    if (needsPermissions && geteuid() == 0)
        QSKIP("folder permissions do not bind the superuser");
#else
    if (needsPermissions)
        QSKIP("a read-only attribute does not keep files out of a Windows folder");
#endif

    const QDir root(dir->path());
    QVERIFY(root.mkpath(QStringLiteral("folder/inside")));
    QVERIFY(WriteRaw(root.filePath(QStringLiteral("plain.txt")), previous));
    QVERIFY(root.mkdir(QStringLiteral("readonly")));
    const QString readonlyLog = root.filePath(QStringLiteral("readonly/log.txt"));
    QVERIFY(WriteRaw(readonlyLog, previous));
    QVERIFY(QFile::setPermissions(root.filePath(QStringLiteral("readonly")),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    QVERIFY(!WriteLogFile(root.filePath(target), QStringLiteral("2.000 0.2000\n")));

    QVERIFY(QFileInfo(root.filePath(QStringLiteral("folder/inside"))).isDir());
    QCOMPARE(QDir(root.filePath(QStringLiteral("folder")))
                 .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"inside"});
    QCOMPARE(Contents(root.filePath(QStringLiteral("plain.txt"))), previous);
    QCOMPARE(Contents(readonlyLog), previous);
    QCOMPARE(QDir(root.filePath(QStringLiteral("readonly"))).entryList(QDir::Files),
             QStringList{"log.txt"});
    QVERIFY(!root.exists(QStringLiteral("missing")));

    QVERIFY(QFile::setPermissions(root.filePath(QStringLiteral("readonly")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner));
}

void TestLogExport::shortWriteKeepsThePreviousFile()
{
    const QString path = dir->filePath(QStringLiteral("log.txt"));
    QVERIFY(WriteRaw(path, previous));
#ifdef Q_OS_UNIX
    // A file size limit makes the disk refuse the tail of the text, even for the superuser.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteLogFile(path, LongLog());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QCOMPARE(Contents(path), previous);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"log.txt"});
#endif

    // Nothing is stuck: the same export succeeds once the disk takes it.
    QVERIFY(WriteLogFile(path, LongLog()));
    QCOMPARE(Contents(path), LongLog().toLocal8Bit());
}

void TestLogExport::startFolderFollowsTheLastExport()
{
    QSettings settings(dir->filePath(QStringLiteral("store.ini")), QSettings::IniFormat);
    QCOMPARE(LogExportStartFolder(settings), QDir::currentPath());

    StoreLogExportFolder(settings, QStringLiteral("/data/logs/today.txt"));
    QCOMPARE(settings.value(QStringLiteral("dirLogFile")).toString(), QStringLiteral("/data/logs"));
    QCOMPARE(LogExportStartFolder(settings), QStringLiteral("/data/logs"));
}

QTEST_GUILESS_MAIN(TestLogExport)
#include "tst_logexport.moc"
