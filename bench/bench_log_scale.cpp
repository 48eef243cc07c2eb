// The measurement log at the scale of a week at one line a second: resident memory a line, the
// cost of an append at the start, middle and end, and the cost of exporting it all, for the
// window's grouped view (sixteen lines a block, journalled to disk) against a view with a block
// a line (the former design, no journal), each in a process of its own, in the same run.
//
//     bench_log_scale [lines, default 604800] [shown]
//
// With "shown" the log page is in front all the time, as for an operator watching the log;
// without it the panel page is, as when the window starts.
//
// The real window is connected to an in-process emulator that answers at once; the log clock
// is injected and moves half a second per tick, and the tick is invoked directly (one line every
// other tick, when the status read has come back). A tick still costs a pty round trip of about
// 2 ms, so only batches at the start, middle and end run real ticks (grouped design only); the
// lines between them go into the same view the way the design appends them, which is what
// decides how the document grows.

#include "app/journalledlog.h"
#include "app/logview.h"
#include "app/mainwindow.h"
#include "benchclock.h"
#include "benchprocess.h"
#include "log/logexport.h"
#include "log/logjournal.h"
#include "session/devicesession.h"
#include "tests/support/paneldriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimeEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int batchLines = 2000;
constexpr int tickAdvanceMs = 500;
const char *const groupedDesign = "grouped";
const char *const blockALineDesign = "block-a-line";

FILE *out = stdout;

double ResidentMiB()
{
    return ResidentKiB() / 1024.0;
}

double Median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double MicrosSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1000.0;
}

class LogRun
{
public:
    LogRun(MainWindow &window, QTime &now, bool grouped)
        : window(window), now(now), grouped(grouped)
    {
        view = window.findChild<QTextEdit *>(QStringLiteral("textEditLog"));
        recorder = window.findChild<JournalledLog *>();
    }

    int lines() const { return lineCount; }

    // Ticks until `count` more lines are in the log; returns the duration of each tick that
    // appended a line, in microseconds.
    QVector<double> tickUntil(int count)
    {
        QVector<double> appending;
        const int target = lineCount + count;
        QElapsedTimer timer;
        while (lineCount < target) {
            now = now.addMSecs(tickAdvanceMs);
            const int charactersBefore = view->document()->characterCount();
            timer.start();
            QMetaObject::invokeMethod(window.findChild<DeviceSession *>(), "TimeOut",
                                      Qt::DirectConnection);
            const double us = MicrosSince(timer);
            if (view->document()->characterCount() > charactersBefore) {
                ++lineCount;
                appending.append(us);
            }
        }
        return appending;
    }

    // Appends lines as the design does, without the transaction: the window's own recorder
    // (grouped view and journal), or a block a line as the window did before; returns the
    // duration of each append in microseconds.
    QVector<double> fill(int count)
    {
        QVector<double> appends;
        appends.reserve(count);
        QElapsedTimer timer;
        for (int i = 0; i < count; ++i) {
            const QString line =
                QTime(0, 0).addSecs(lineCount).toString(QStringLiteral("hh:mm:ss")) +
                QStringLiteral(" 12.340 0.5670\n");
            timer.start();
            if (grouped) {
                recorder->Append(line);
            } else {
                QTextCursor end(view->document());
                end.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
                end.insertText(line);
                if (!view->textCursor().hasSelection())
                    view->setTextCursor(end);
            }
            appends.append(MicrosSince(timer));
            ++lineCount;
        }
        return appends;
    }

private:
    MainWindow &window;
    QTime &now;
    bool grouped = true;
    QTextEdit *view = nullptr;
    JournalledLog *recorder = nullptr;
    int lineCount = 0;
};

// One design in this process; prints its figures as "key value" lines.
int RunDesign(int argc, char *argv[], bool grouped, int totalLines, bool logPageShown)
{
    QTemporaryDir config;
    out = PrepareBenchProcess(config);

    QApplication app(argc, argv);
    PanelDriver panel;
    if (!panel.started)
        return 1;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));

    QTime now(0, 0, 0);
    MainWindow &window = *panel.window;
    window.SetLogClock(LogClock([&now] { return now; }));
    // With the log page in front every append is laid out at once, and every block keeps its
    // layout; behind the panel page (as the window starts) the layout waits until it is shown.
    if (logPageShown)
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(1);
    auto *dialog = window.findChild<QDialog *>(QStringLiteral("DialogSettingsLog"));
    dialog->findChild<QTimeEdit *>(QStringLiteral("timeEdit"))->setTime(QTime(0, 0, 1));
    dialog->findChild<QComboBox *>(QStringLiteral("comboBoxLogValue"))->setCurrentIndex(0);
    dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxAddTime"))->setChecked(true);
    dialog->findChild<QComboBox *>(QStringLiteral("comboBoxTimeForm"))->setCurrentIndex(0);
    panel.connectPort();
    // This run is the only caller of the tick; the real timer would re-enter it from the
    // transaction's wait.
    for (QTimer *timer : window.findChildren<QTimer *>()) {
        if (timer->interval() == 250)
            timer->stop();
    }
    window.findChild<QPushButton *>(QStringLiteral("pushButtonLogStart"))->click();

    LogRun run(window, now, grouped);
    QElapsedTimer wall;
    wall.start();
    const double rssStart = ResidentMiB();
    if (grouped)
        std::fprintf(out, "tick_start %.1f\n", Median(run.tickUntil(batchLines)));
    const double startAppend = Median(run.fill(batchLines));
    run.fill(totalLines / 2 - run.lines() - batchLines);
    if (grouped)
        std::fprintf(out, "tick_middle %.1f\n", Median(run.tickUntil(batchLines)));
    const double middleAppend = Median(run.fill(batchLines));
    run.fill(totalLines - run.lines() - 2 * batchLines);
    const double endAppend = Median(run.fill(batchLines));
    if (grouped)
        std::fprintf(out, "tick_end %.1f\n", Median(run.tickUntil(batchLines)));
    else
        run.fill(batchLines);
    const double rssEnd = ResidentMiB();
    const double fillSeconds = double(wall.elapsed()) / 1000.0;

    auto *view = window.findChild<QTextEdit *>(QStringLiteral("textEditLog"));
    QElapsedTimer timer;
    timer.start();
    const QString text = view->toPlainText();
    const double plainMs = double(timer.nsecsElapsed()) / 1e6;
    QTemporaryDir exportDir;
    const QString file = exportDir.filePath(QStringLiteral("week.txt"));
    timer.start();
    const bool written = WriteLogFile(file, text);
    const double writeMs = double(timer.nsecsElapsed()) / 1e6;

    std::fprintf(out, "lines %d\n", run.lines());
    std::fprintf(stderr, "%s: %d lines filled in %.1f s\n",
                 grouped ? groupedDesign : blockALineDesign, run.lines(), fillSeconds);
    std::fprintf(out, "append_start %.2f\nappend_middle %.2f\nappend_end %.2f\n", startAppend,
                 middleAppend, endAppend);
    std::fprintf(out, "rss_start %.1f\nrss_end %.1f\n", rssStart, rssEnd);
    std::fprintf(out, "bytes_per_line %.1f\n", (rssEnd - rssStart) * 1024 * 1024 / run.lines());
    std::fprintf(out, "text_bytes_per_line %.1f\n", double(text.size()) / run.lines());
    std::fprintf(out, "plain_ms %.1f\nwrite_ms %.1f\nwritten %d\n", plainMs, writeMs,
                 written && QFile(file).size() == text.toLocal8Bit().size() ? 1 : 0);
    if (grouped) {
        // What the journal holds must be what the export wrote.
        QFile journal(LogJournal::DefaultFolder() + QStringLiteral("/journal-1.txt"));
        std::fprintf(
            out, "journal_equal %d\n",
            journal.open(QIODevice::ReadOnly) && journal.readAll() == text.toLocal8Bit() ? 1 : 0);
        // A restore puts the whole log into the empty view of a starting window, which waits
        // for it; the view behind the first page lays it out once it is shown, in the event loop
        // as the window does, so the figure is the longest the loop is held up after that.
        QTabWidget pages;
        QWidget front;
        // Read-only, as the window's log view: Qt lays such a view out differently.
        auto *restored = new QTextEdit;
        restored->setReadOnly(true);
        pages.addTab(&front, QStringLiteral("front"));
        pages.addTab(restored, QStringLiteral("log"));
        pages.resize(window.size());
        pages.show();
        LogView restoredView(restored);
        timer.start();
        restoredView.Append(text);
        const double restoreMs = double(timer.nsecsElapsed()) / 1e6;
        qint64 layoutMs = 0;
        QElapsedTimer sinceBeat;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout,
                         [&] { layoutMs = qMax(layoutMs, sinceBeat.restart()); });
        pages.setCurrentIndex(1);
        sinceBeat.start();
        beat.start(10);
        RunFor(5000);
        beat.stop();
        std::fprintf(out, "restore_ms %.1f\nlayout_ms %lld\nrestore_equal %d\n", restoreMs,
                     static_cast<long long>(layoutMs), restoredView.PlainText() == text ? 1 : 0);
    }
    std::fflush(out);
    window.close();
    return 0;
}

// Runs one design in a child process and collects its figures.
QMap<QString, double> Measure(const char *program, const char *design, int lines, bool logPageShown)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QString::fromLocal8Bit(program),
                {QStringLiteral("--design"), QString::fromLatin1(design), QString::number(lines),
                 logPageShown ? QStringLiteral("shown") : QStringLiteral("hidden")});
    child.waitForFinished(-1);
    QMap<QString, double> figures;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2)
            figures.insert(QString::fromLatin1(fields.at(0)), fields.at(1).toDouble());
        else if (!line.isEmpty())
            std::fprintf(out, "%s: %s\n", design, line.constData());
    }
    return figures;
}

void Row(const char *label, const QMap<QString, double> &grouped,
         const QMap<QString, double> &blocks, const QString &key, const char *goal = "",
         int decimals = 1)
{
    const double a = grouped.value(key);
    const double b = blocks.value(key);
    std::fprintf(out, "  %-34s %10.*f %12.*f %9.2f  %s\n", label, decimals, a, decimals, b,
                 b > 0 ? a / b : 0.0, goal);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 5 && std::strcmp(argv[1], "--design") == 0)
        return RunDesign(argc, argv, std::strcmp(argv[2], groupedDesign) == 0,
                         qMax(8 * batchLines, atoi(argv[3])), std::strcmp(argv[4], "shown") == 0);

    const int totalLines = argc > 1 ? qMax(8 * batchLines, atoi(argv[1])) : 604800;
    const bool logPageShown = argc > 2 && std::strcmp(argv[2], "shown") == 0;
    QCoreApplication app(argc, argv);
    QMap<QString, double> grouped = Measure(argv[0], groupedDesign, totalLines, logPageShown);
    QMap<QString, double> blocks = Measure(argv[0], blockALineDesign, totalLines, logPageShown);
    for (QMap<QString, double> *figures : {&grouped, &blocks}) {
        const double start = figures->value(QStringLiteral("append_start"));
        figures->insert(QStringLiteral("append_ratio"),
                        start > 0 ? figures->value(QStringLiteral("append_end")) / start : 0);
        figures->insert(QStringLiteral("export_ms"),
                        figures->value(QStringLiteral("plain_ms")) +
                            figures->value(QStringLiteral("write_ms")));
    }

    std::fprintf(out,
                 "bench_log_scale: %d lines (%d fake seconds), log page %s, each design in its "
                 "own process\n",
                 totalLines, totalLines, logPageShown ? "shown" : "behind the panel page");
    std::fprintf(out, "  %-34s %10s %12s %9s\n", "", "grouped", "block a line", "ratio");
    Row("resident growth, bytes a line", grouped, blocks, QStringLiteral("bytes_per_line"),
        "(goal <= 160)");
    Row("text, characters a line", grouped, blocks, QStringLiteral("text_bytes_per_line"));
    Row("append at the start, us", grouped, blocks, QStringLiteral("append_start"));
    Row("append in the middle, us", grouped, blocks, QStringLiteral("append_middle"));
    Row("append at the end, us", grouped, blocks, QStringLiteral("append_end"));
    Row("append end / start", grouped, blocks, QStringLiteral("append_ratio"), "(goal <= 1.5)", 2);
    Row("export: toPlainText, ms", grouped, blocks, QStringLiteral("plain_ms"));
    Row("export: WriteLogFile, ms", grouped, blocks, QStringLiteral("write_ms"));
    Row("export in all, ms", grouped, blocks, QStringLiteral("export_ms"), "(goal < 1000)");
    std::fprintf(out, "grouped design only:\n");
    std::fprintf(out,
                 "  logging tick (status read + line + journal), median of %d: start %.1f us, "
                 "middle %.1f us, end %.1f us (%.2f x start)\n",
                 batchLines, grouped.value(QStringLiteral("tick_start")),
                 grouped.value(QStringLiteral("tick_middle")),
                 grouped.value(QStringLiteral("tick_end")),
                 grouped.value(QStringLiteral("tick_end")) /
                     qMax(1.0, grouped.value(QStringLiteral("tick_start"))));
    std::fprintf(
        out,
        "  restore of the whole log into an empty view: %.1f ms; then, shown, it holds the "
        "event loop up to %.0f ms (%s)\n",
        grouped.value(QStringLiteral("restore_ms")), grouped.value(QStringLiteral("layout_ms")),
        grouped.value(QStringLiteral("restore_equal")) > 0 ? "text equal" : "TEXT DIFFERS");
    std::fprintf(out, "  journal equals the export: %s; exports written: %s\n",
                 grouped.value(QStringLiteral("journal_equal")) > 0 ? "yes" : "NO",
                 grouped.value(QStringLiteral("written")) > 0 &&
                         blocks.value(QStringLiteral("written")) > 0
                     ? "yes"
                     : "NO");
    std::fflush(out);
    return 0;
}
