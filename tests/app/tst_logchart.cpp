#include "tests/support/messageboxwatcher.h"
#include "tests/support/paneldriver.h"
#include "tests/support/savedialoganswer.h"

#include "app/logchart.h"
#include "settings/settingskeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>
#include <qwt_plot.h>

namespace {

// The chart's entries as the log would write them: "hh:mm:ss V A" for a sample, "gap" for a
// period without a line.
QStringList Entries(const SampleTrack &track)
{
    QStringList entries;
    for (int i = 0; i < track.Size(); ++i) {
        const SampleTrack::Entry entry = track.At(i);
        if (entry.IsGap()) {
            entries << QStringLiteral("gap");
            continue;
        }
        entries << QTime(0, 0).addMSecs(int(entry.timeMs)).toString(QStringLiteral("hh:mm:ss")) +
                       QLatin1Char(' ') + QString::number(double(entry.voltage) / 1000, 'f', 3) +
                       QLatin1Char(' ') + QString::number(double(entry.current) / 10000, 'f', 4);
    }
    return entries;
}

QwtInterval TimeSpan(const LogChart &chart)
{
    return chart.findChild<QwtPlot *>()->axisInterval(QwtPlot::xBottom);
}

void Wheel(QWidget *canvas, int notches)
{
    const QPointF at(canvas->width() / 2.0, canvas->height() / 2.0);
    QWheelEvent wheel(at, QPointF(canvas->mapToGlobal(at.toPoint())), QPoint(),
                      QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(canvas, &wheel);
}

// Distinct colours in the image, counted up to `enough`.
int Colours(const QImage &image, int enough)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height() && seen.size() < enough; y += 2) {
        for (int x = 0; x < image.width() && seen.size() < enough; x += 2)
            seen.insert(image.pixel(x, y));
    }
    return seen.size();
}

} // namespace

// The "График" page: the chart gets what the log writes, period by period, follows the newest
// sample until the operator zooms or pans, and saves itself as an image.
class LogChartTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void samplesAndGapsAreTheLogLines();
    void stopStartContinuesAndClearEmpties();
    void disconnectingBreaksTheTrace();
    void followingStopsOnZoomAndPanAndResumes();
    void savedImagesHaveTheChartSizeAndRememberTheFolder();
    void unwritableImageWarns();

private:
    void startManualLog(PanelDriver &panel);
    // Moves the log clock on by `stepMs` per tick, for `ticks` ticks.
    void stepTicks(const PanelDriver &panel, int ticks, int stepMs = 250);
    // A chart shown on its own, with a minute of samples at one a second.
    std::unique_ptr<LogChart> ShownChart();

    QTime now;
};

void LogChartTest::init()
{
    QSettings(QStringLiteral("brenta"), QStringLiteral("TALMIR")).clear();
    now = QTime(10, 0, 0);
}

void LogChartTest::stepTicks(const PanelDriver &panel, int ticks, int stepMs)
{
    for (int i = 0; i < ticks; ++i) {
        const int before = panel.emulator.requests().size();
        now = now.addMSecs(stepMs);
        QTRY_VERIFY_WITH_TIMEOUT(panel.emulator.requests().size() > before, TestWaitMs);
    }
}

void LogChartTest::startManualLog(PanelDriver &panel)
{
    panel.window->SetLogClock(LogClock([this] { return now; }));
    auto *dialog = panel.window->findChild<QDialog *>(QStringLiteral("DialogSettingsLog"));
    dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxAddTime"))->setChecked(true);
    dialog->findChild<QComboBox *>(QStringLiteral("comboBoxTimeForm"))->setCurrentIndex(0);
    panel.connectPort();
    panel.click("pushButtonLogStart");
}

void LogChartTest::samplesAndGapsAreTheLogLines()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));
    startManualLog(panel);
    auto *chart = panel.widget<LogChart>("logChart");
    QTRY_COMPARE_WITH_TIMEOUT(chart->Samples().Size(), 1, TestWaitMs);
    panel.emulator.setFixedStatus(RunningStatus(1250, 80));
    stepTicks(panel, 8);
    // A second a tick: every period is due, but a status read only comes every other tick, so
    // every other period has no line.
    panel.emulator.setFixedStatus(RunningStatus(999, 1000));
    stepTicks(panel, 4, 1000);
    panel.click("pushButtoLogStop");

    const QStringList lines =
        panel.widget<QTextEdit>("textEditLog")->toPlainText().split('\n', Qt::SkipEmptyParts);
    QStringList samples = Entries(chart->Samples());
    QVERIFY2(samples.count("gap") == 2, qPrintable(samples.join(" | ")));
    QVERIFY(samples.indexOf("gap") > 0);
    samples.removeAll("gap");
    QCOMPARE(samples, lines);
    QCOMPARE(lines.first(), QString("00:00:00 12.340 0.5670"));
    QCOMPARE(lines.last(), QString("00:00:06 9.990 1.0000"));
}

void LogChartTest::stopStartContinuesAndClearEmpties()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1000, 100));
    startManualLog(panel);
    auto *chart = panel.widget<LogChart>("logChart");
    QTRY_COMPARE_WITH_TIMEOUT(chart->Samples().Size(), 1, TestWaitMs);
    stepTicks(panel, 8);
    QCOMPARE(chart->Samples().Size(), 3);
    const qint64 firstRunEnd = chart->Samples().LastTime();

    panel.click("pushButtoLogStop");
    stepTicks(panel, 8);
    QCOMPARE(chart->Samples().Size(), 3);
    panel.emulator.setFixedStatus(RunningStatus(2000, 200));
    stepTicks(panel, 2);
    panel.click("pushButtonLogStart");
    QTRY_COMPARE_WITH_TIMEOUT(chart->Samples().Size(), 5, TestWaitMs);
    // The runs are not joined, and the second lies after the first although its log clock
    // started from zero again.
    QVERIFY(chart->Samples().At(3).IsGap());
    QVERIFY(chart->Samples().At(4).timeMs >= firstRunEnd);
    QCOMPARE(chart->Samples().At(4).voltage, 20000.0f);

    panel.click("pushButtonLogClear");
    QVERIFY(chart->Samples().IsEmpty());
    QVERIFY(panel.widget<QTextEdit>("textEditLog")->toPlainText().isEmpty());
    stepTicks(panel, 4);
    QCOMPARE(chart->Samples().Size(), 1);
    QVERIFY(chart->Samples().FirstTime() > firstRunEnd);
}

std::unique_ptr<LogChart> LogChartTest::ShownChart()
{
    auto chart = std::make_unique<LogChart>();
    chart->resize(400, 300);
    chart->show();
    for (int second = 0; second <= 60; ++second) {
        LogSample sample;
        sample.voltage = 12000 + second;
        sample.current = 5000 + 10 * second;
        chart->AddPeriod(QTime(0, 0).addSecs(second), sample);
    }
    return chart;
}

void LogChartTest::disconnectingBreaksTheTrace()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1000, 100));
    startManualLog(panel);
    auto *chart = panel.widget<LogChart>("logChart");
    QTRY_COMPARE_WITH_TIMEOUT(chart->Samples().Size(), 1, TestWaitMs);
    stepTicks(panel, 4);
    const int before = chart->Samples().Size();
    panel.disconnectPort();
    panel.disconnectPort();
    QCOMPARE(chart->Samples().Size(), before + 1);
    QVERIFY(chart->Samples().At(before).IsGap());

    now = now.addSecs(600);
    panel.connectPort();
    stepTicks(panel, 8);
    const SampleTrack &samples = chart->Samples();
    QVERIFY(samples.Size() > before + 1);
    QVERIFY(!samples.At(samples.Size() - 1).IsGap());
    QVERIFY(samples.At(samples.Size() - 1).timeMs >= samples.At(before).timeMs + 600000);
}

void LogChartTest::followingStopsOnZoomAndPanAndResumes()
{
    std::unique_ptr<LogChart> chart = ShownChart();
    QWidget *canvas = chart->findChild<QwtPlot *>()->canvas();
    auto *follow = chart->findChild<QToolButton *>(QStringLiteral("toolButtonChartFollow"));
    QVERIFY(chart->IsFollowing());
    QVERIFY(!follow->isEnabled());
    QCOMPARE(TimeSpan(*chart).maxValue(), 60000.0);

    Wheel(canvas, 2);
    QVERIFY(!chart->IsFollowing());
    QVERIFY(follow->isEnabled());
    const QwtInterval zoomed = TimeSpan(*chart);
    QVERIFY(zoomed.width() < 60000 * 0.7);
    // New samples no longer move the view.
    chart->AddPeriod(QTime(0, 1, 30), LogSample{13000, 6000});
    QCOMPARE(TimeSpan(*chart), zoomed);

    QTest::mouseClick(follow, Qt::LeftButton);
    QVERIFY(chart->IsFollowing());
    QCOMPARE(TimeSpan(*chart).maxValue(), 90000.0);

    // A drag to the right shows earlier times.
    const QPoint middle(canvas->width() / 2, canvas->height() / 2);
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, middle);
    QMouseEvent drag(QEvent::MouseMove, middle + QPoint(50, 0), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(canvas, &drag);
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, middle + QPoint(50, 0));
    QVERIFY(!chart->IsFollowing());
    QVERIFY(TimeSpan(*chart).maxValue() < 90000.0);

    QTest::mouseDClick(canvas, Qt::LeftButton, Qt::NoModifier, middle);
    QVERIFY(chart->IsFollowing());
    QCOMPARE(TimeSpan(*chart).maxValue(), 90000.0);

    // Clearing shows the empty chart, following.
    Wheel(canvas, 1);
    chart->Clear();
    QVERIFY(chart->IsFollowing());
    QVERIFY(chart->Samples().IsEmpty());
}

void LogChartTest::savedImagesHaveTheChartSizeAndRememberTheFolder()
{
    QTemporaryDir dir;
    QSettings store(QStringLiteral("brenta"), QStringLiteral("TALMIR"));
    std::unique_ptr<LogChart> chart = ShownChart();
    chart->SetSettingsStore(&store);
    auto *plot = chart->findChild<QwtPlot *>();
    auto *save = chart->findChild<QPushButton *>(QStringLiteral("pushButtonChartSave"));
    QCOMPARE(save->text(), QString("Сохранить изображение"));

    const QString png = dir.filePath(QStringLiteral("chart.png"));
    {
        SaveDialogAnswer answer(png);
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(answer.shown, 1);
        QCOMPARE(answer.offeredFolder, QDir::currentPath());
    }
    const QImage image(png);
    QCOMPARE(image.size(), plot->size() * plot->devicePixelRatioF());
    QVERIFY(Colours(image, 20) >= 20);
    QCOMPARE(store.value(SettingsKeys::dirLogFile).toString(), dir.path());

    // The second save starts where the first one went; a name without a suffix becomes a PNG.
    {
        SaveDialogAnswer answer(dir.filePath(QStringLiteral("plain")));
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(answer.offeredFolder, QFileInfo(dir.path()).absoluteFilePath());
    }
    QCOMPARE(QImage(dir.filePath(QStringLiteral("plain.png"))).size(), image.size());

    const QString svg = dir.filePath(QStringLiteral("chart.svg"));
    QVERIFY(chart->SaveImage(svg));
    QSvgRenderer vector(svg);
    QVERIFY(vector.isValid());
    QCOMPARE(vector.viewBoxF().size(), QSizeF(plot->size()));
}

void LogChartTest::unwritableImageWarns()
{
    QTemporaryDir dir;
    std::unique_ptr<LogChart> chart = ShownChart();
    MessageBoxWatcher boxes;
    {
        SaveDialogAnswer answer(dir.filePath(QStringLiteral("missing/chart.png")));
        QTest::mouseClick(chart->findChild<QPushButton *>(QStringLiteral("pushButtonChartSave")),
                          Qt::LeftButton);
    }
    QCOMPARE(boxes.seen, QStringList{"Ошибка|Не удается сохранить файл"});
}

QTEST_MAIN(LogChartTest)
#include "tst_logchart.moc"
