// A long run of the connected, logging panel against the emulator program at 9200 baud:
// memory at start and end, ticks missed, lines logged against lines due, CPU. The emulator hands
// its replies over as a USB serial adapter with the given latency timer does; 0 hands over each
// character as it arrives, as a bare UART would.
//
//     bench_soak [seconds, default 600] [adapter latency in ms, default 16]

#include "app/mainwindow.h"
#include "benchclock.h"
#include "benchprocess.h"
#include "settings/settingsstore.h"
#include "simprocess.h"
#include "tests/support/panelwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimeEdit>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int tickMs = 250;
constexpr int warmUpMs = 3000;

FILE *out = stdout;

int LineCount(const QTextEdit &view)
{
    return view.toPlainText().count(QLatin1Char('\n'));
}

// What the same number of log lines costs in a text view of their own: the part of the
// growth that is the log itself.
double LogTextCostKiB(int lines)
{
    QTextEdit view;
    view.document()->setUndoRedoEnabled(false);
    view.show();
    const double before = ResidentKiB();
    for (int i = 0; i < lines; ++i) {
        QTextCursor end(view.document());
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral("12.340 0.5670\n"));
        view.setTextCursor(end);
    }
    QCoreApplication::processEvents();
    return ResidentKiB() - before;
}

} // namespace

int main(int argc, char *argv[])
{
    const int seconds = argc > 1 ? qMax(10, atoi(argv[1])) : 600;
    const int latencyMs = argc > 2 ? qMax(0, atoi(argv[2])) : 16;
    QTemporaryDir config;
    out = PrepareBenchProcess(config);

    QApplication app(argc, argv);
    SimProcess sim;
    const QString port =
        sim.start({QStringLiteral("--adapter-latency"), QString::number(latencyMs)});
    if (port.isEmpty()) {
        std::fprintf(out, "cannot start %s\n", VORNEX_SIM_PATH);
        return 1;
    }
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    const std::unique_ptr<MainWindow> shown = OpenPanelWindow(store.get(), {port});
    MainWindow &window = *shown;
    auto *dialog = window.findChild<QDialog *>(QStringLiteral("DialogSettingsLog"));
    dialog->findChild<QTimeEdit *>(QStringLiteral("timeEdit"))->setTime(QTime(0, 0, 1));
    dialog->findChild<QComboBox *>(QStringLiteral("comboBoxLogValue"))->setCurrentIndex(0);
    auto *view = window.findChild<QTextEdit *>(QStringLiteral("textEditLog"));

    // Measured before connecting, so that the panel's own wakes stay out of it.
    const double wakeCostUs = WakeCostUs(warmUpMs);
    PanelAction(window, "actionConnect")->trigger();
    window.findChild<QPushButton *>(QStringLiteral("pushButtonLogStart"))->click();
    // Let the first lines, the first layouts and the caches settle before the start figures.
    RunFor(warmUpMs);

    const int requestsBefore = sim.requests().size();
    const int linesBefore = LineCount(*view);
    const double rssStart = ResidentKiB();
    const double cpuBefore = CpuSeconds();
    const long wakesBefore = Wakes();
    QElapsedTimer wall;
    wall.start();
    RunFor(seconds * 1000);
    const double elapsedS = double(wall.nsecsElapsed()) / 1e9;
    const double cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / elapsedS;
    const double wakesPerSecond = double(Wakes() - wakesBefore) / elapsedS;
    const double rssEnd = ResidentKiB();
    const int lines = LineCount(*view) - linesBefore;
    const int transactions = sim.requests().size() - requestsBefore;

    const int ticksDue = int(elapsedS * 1000.0 / tickMs);
    const int linesDue = int(elapsedS);
    const double textKiB = LogTextCostKiB(lines);

    std::fprintf(out,
                 "bench_soak: %.1f s connected and logging at 1 s, emulator paced at 9200 "
                 "baud, adapter latency %d ms\n",
                 elapsedS, latencyMs);
    std::fprintf(out, "CPU of the panel process  %.3f %% of one core (goal 0.5 %%: %.2f of goal)\n",
                 cpuPercent, cpuPercent / 0.5);
    const double wakesAlone = wakesPerSecond * wakeCostUs / 1e4;
    std::fprintf(out,
                 "wakes of the panel        %.0f a second; at %.1f us a wake of an event loop "
                 "that does nothing, waking alone would cost %.3f %% (panel %.1f x that)\n",
                 wakesPerSecond, wakeCostUs, wakesAlone,
                 wakesAlone > 0 ? cpuPercent / wakesAlone : 0.0);
    std::fprintf(out, "ticks                     %d requests seen, %d ticks due, %d missed\n",
                 transactions, ticksDue, qMax(0, ticksDue - transactions));
    std::fprintf(out, "log lines                 %d written, %d due, %d missed\n", lines, linesDue,
                 qMax(0, linesDue - lines));
    std::fprintf(out, "resident memory           start %.0f KiB, end %.0f KiB, growth %.0f KiB\n",
                 rssStart, rssEnd, rssEnd - rssStart);
    std::fprintf(out,
                 "  the same %d lines in a view of their own: %.0f KiB; growth beyond the log "
                 "%.0f KiB\n",
                 lines, textKiB, rssEnd - rssStart - textKiB);
    std::fflush(out);
    return 0;
}
