#include "log/journalfiles.h"

QString KeptAsideFileName(const QDateTime &lastWritten, int attempt)
{
    // No colons: Windows does not allow them in file names.
    const QString stamp = lastWritten.toLocalTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    if (attempt <= 1)
        return QStringLiteral("journal-%1.txt").arg(stamp);
    return QStringLiteral("journal-%1-%2.txt").arg(stamp).arg(attempt);
}

QByteArray CompleteJournalLines(const QByteArray &tail, bool wholeFile)
{
    const int end = tail.lastIndexOf('\n') + 1;
    const int start = wholeFile ? 0 : tail.indexOf('\n') + 1;
    // A tail without any line feed holds no line that begins inside it.
    if ((!wholeFile && start == 0) || end <= start)
        return QByteArray();
    return tail.mid(start, end - start);
}
