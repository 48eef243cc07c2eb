#include "chart/chartreadout.h"
#include "chart/runningtime.h"
#include "chart/sampletrack.h"
#include "chart/timeaxis.h"
#include "chart/tracesummary.h"

#include <QtTest>

#include <cmath>

namespace {

// A series written as text: "time:voltage:current" for a sample, "time:-" for a gap.
void Fill(SampleTrack &track, const QString &series)
{
    for (const QString &item : series.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char(':'));
        if (parts.value(1) == QLatin1String("-"))
            track.AppendGap(parts.at(0).toLongLong());
        else
            track.Append(parts.at(0).toLongLong(), parts.at(1).toLongLong(),
                         parts.value(2).toLongLong());
    }
}

// A summary written as text: per column "-" when empty, else "first/low/high/last" with a
// leading "+" when the line comes in joined; the edges as "<time=value" and ">time=value".
QString Text(const TraceSummary &summary)
{
    QStringList parts;
    if (summary.before)
        parts << QStringLiteral("<%1=%2").arg(summary.before->timeMs).arg(summary.before->value);
    for (const ColumnSummary &column : summary.columns) {
        if (column.count == 0) {
            parts << QStringLiteral("-");
            continue;
        }
        parts << QStringLiteral("%1%2/%3/%4/%5")
                     .arg(column.joined ? QStringLiteral("+") : QString())
                     .arg(column.first)
                     .arg(column.lowest)
                     .arg(column.highest)
                     .arg(column.last);
    }
    if (summary.after)
        parts << QStringLiteral(">%1=%2").arg(summary.after->timeMs).arg(summary.after->value);
    return parts.join(QLatin1Char(' '));
}

} // namespace

// The chart's data without widgets: the sample store, the per-pixel summary that replaces
// drawing every sample, the running time across runs and midnight, the time axis and readout.
class ChartDataTest : public QObject
{
    Q_OBJECT

private slots:
    void summary_data();
    void summary();
    void summaryOfEverySampleInItsOwnColumn();
    void summaryMatchesBruteForceAcrossBlocks();
    void lowerBound_data();
    void lowerBound();
    void storeStaysCompactAndOrdered();
    void runningTime();
    void timeAxisStep_data();
    void timeAxisStep();
    void timeAxisText_data();
    void timeAxisText();
    void readout_data();
    void readout();
};

void ChartDataTest::summary_data()
{
    QTest::addColumn<QString>("series");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("voltage");

    QTest::newRow("one column takes everything")
        << "0:5 1:3 2:9 3:4" << qint64(0) << qint64(3) << 1 << "5/3/9/4";
    QTest::newRow("two columns split the span")
        << "0:5 1:3 2:9 3:4" << qint64(0) << qint64(3) << 2 << "5/3/5/3 +9/4/9/4";
    QTest::newRow("the end time falls into the last column")
        << "0:1 10:2" << qint64(0) << qint64(10) << 5 << "1/1/1/1 - - - +2/2/2/2";
    QTest::newRow("a gap breaks the line into the next column")
        << "0:1 1:2 2:- 3:4 4:5" << qint64(0) << qint64(4) << 4 << "1/1/1/1 +2/2/2/2 - 4/4/5/5";
    QTest::newRow("a gap inside a column leaves its extent whole")
        << "0:1 1:- 2:7 3:2" << qint64(0) << qint64(3) << 1 << "1/1/7/2";
    QTest::newRow("samples outside the span are edges")
        << "0:1 10:2 20:3 30:4" << qint64(10) << qint64(20) << 2 << "<0=1 +2/2/2/2 +3/3/3/3 >30=4";
    QTest::newRow("no edge across a gap")
        << "0:1 5:- 10:2 20:3 25:- 30:4" << qint64(10) << qint64(20) << 1 << "2/2/3/3";
    QTest::newRow("a span between two samples only has edges")
        << "0:1 100:2" << qint64(40) << qint64(60) << 3 << "<0=1 - - - >100=2";
    QTest::newRow("negative values keep their order")
        << "0:-5 1:-1 2:-9" << qint64(0) << qint64(2) << 1 << "-5/-9/-1/-9";
    QTest::newRow("empty track") << "" << qint64(0) << qint64(10) << 2 << "- -";
    QTest::newRow("only gaps") << "0:- 5:-" << qint64(0) << qint64(10) << 2 << "- -";
    QTest::newRow("no columns") << "0:1" << qint64(0) << qint64(10) << 0 << "";
    QTest::newRow("reversed span") << "0:1" << qint64(10) << qint64(0) << 2 << "";
}

void ChartDataTest::summary()
{
    QFETCH(QString, series);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, columns);
    QFETCH(QString, voltage);
    SampleTrack track;
    Fill(track, series);
    QCOMPARE(Text(SummarizeTrace(track, SampleTrack::Voltage, from, to, columns)), voltage);
}

// With a column per sample the summary holds every sample exactly, the current as well.
void ChartDataTest::summaryOfEverySampleInItsOwnColumn()
{
    SampleTrack track;
    Fill(track, "0:12340:5670 1000:12350:5671 2000:- 3000:-100:-7");
    const TraceSummary current = SummarizeTrace(track, SampleTrack::Current, 0, 3999, 4);
    QCOMPARE(Text(current), QString("5670/5670/5670/5670 +5671/5671/5671/5671 - -7/-7/-7/-7"));
    const auto range = ValueRange(track, SampleTrack::Voltage, 0, 3000);
    QVERIFY(range.has_value());
    QCOMPARE(range->first, -100.0f);
    QCOMPARE(range->second, 12350.0f);
    QVERIFY(!ValueRange(track, SampleTrack::Voltage, 1500, 2500).has_value());
}

// A week-long series spans many blocks: every column's extent and ends agree with a plain
// pass over all samples, whatever the column boundaries are.
void ChartDataTest::summaryMatchesBruteForceAcrossBlocks()
{
    SampleTrack track;
    struct Point
    {
        qint64 time;
        qint64 value;
        bool gap;
    };
    QVector<Point> points;
    for (int i = 0; i < 20000; ++i) {
        const qint64 time = qint64(i) * 1000;
        const bool gap = i % 997 == 0;
        const qint64 value = (i * 7919) % 10007 - 5000;
        points.append({time, value, gap});
        if (gap)
            track.AppendGap(time);
        else
            track.Append(time, value, -value);
    }
    QCOMPARE(track.Size(), 20000);
    const qint64 from = 1234567;
    const qint64 to = 17654321;
    const int columns = 333;
    const TraceSummary summary = SummarizeTrace(track, SampleTrack::Voltage, from, to, columns);
    QVector<ColumnSummary> expected(columns);
    bool open = false;
    for (const Point &p : points) {
        if (p.time < from || p.time > to) {
            open = !p.gap;
            continue;
        }
        if (p.gap) {
            open = false;
            continue;
        }
        ColumnSummary &c =
            expected[int(qMin<qint64>((p.time - from) * columns / (to - from), columns - 1))];
        if (c.count == 0) {
            c.first = c.lowest = c.highest = float(p.value);
            c.joined = open;
        }
        c.lowest = qMin(c.lowest, float(p.value));
        c.highest = qMax(c.highest, float(p.value));
        c.last = float(p.value);
        ++c.count;
        open = true;
    }
    for (int c = 0; c < columns; ++c) {
        const ColumnSummary &got = summary.columns.at(c);
        const ColumnSummary &want = expected.at(c);
        QCOMPARE(got.count, want.count);
        QCOMPARE(got.first, want.first);
        QCOMPARE(got.last, want.last);
        QCOMPARE(got.lowest, want.lowest);
        QCOMPARE(got.highest, want.highest);
        QCOMPARE(got.joined, want.joined);
    }
}

void ChartDataTest::lowerBound_data()
{
    QTest::addColumn<qint64>("time");
    QTest::addColumn<int>("index");
    // Samples every 10 ms from 0; a block holds 4096 of them.
    QTest::newRow("before the first") << qint64(-5) << 0;
    QTest::newRow("at the first") << qint64(0) << 0;
    QTest::newRow("between two") << qint64(15) << 2;
    QTest::newRow("last of the first block") << qint64(40950) << 4095;
    QTest::newRow("first of the second block") << qint64(40960) << 4096;
    QTest::newRow("just after a block's end") << qint64(40951) << 4096;
    QTest::newRow("at the last") << qint64(99990) << 9999;
    QTest::newRow("after the last") << qint64(100000) << 10000;
}

void ChartDataTest::lowerBound()
{
    QFETCH(qint64, time);
    QFETCH(int, index);
    SampleTrack track;
    for (int i = 0; i < 10000; ++i)
        track.Append(qint64(i) * 10, i, 0);
    QCOMPARE(track.LowerBound(time), index);
}

void ChartDataTest::storeStaysCompactAndOrdered()
{
    SampleTrack track;
    const int week = 7 * 24 * 3600;
    for (int i = 0; i < week; ++i)
        track.Append(qint64(i) * 1000, 12000, 5000);
    // Under 16 bytes a sample, blocks and index included.
    QVERIFY2(double(track.MemoryBytes()) / week < 12.1,
             qPrintable(QString::number(track.MemoryBytes())));
    QCOMPARE(track.At(week - 1).timeMs, qint64(week - 1) * 1000);

    // Times beyond what one block's offsets reach, and a time that goes back, keep the order.
    track.Append(qint64(100) * 24 * 3600 * 1000, 1, 2);
    track.Append(5, 3, 4);
    QCOMPARE(track.At(week).timeMs, qint64(100) * 24 * 3600 * 1000);
    QCOMPARE(track.At(week + 1).timeMs, track.At(week).timeMs);
    QCOMPARE(track.At(week + 1).voltage, 3.0f);
    QCOMPARE(track.LowerBound(qint64(50) * 24 * 3600 * 1000), week);
    // Out-of-range indexes give an empty entry instead of reading past the store.
    QCOMPARE(track.At(-1).timeMs, qint64(0));
    QCOMPARE(track.At(track.Size()).timeMs, qint64(0));

    track.Clear();
    QVERIFY(track.IsEmpty());
    QCOMPARE(track.MemoryBytes(), size_t(0));
    QCOMPARE(track.LowerBound(100), 0);
}

void ChartDataTest::runningTime()
{
    RunningTime time;
    QCOMPARE(time.At(QTime(0, 0, 1)), qint64(1000));
    QCOMPARE(time.At(QTime(0, 0, 2)), qint64(2000));
    // Past midnight of the log clock the running time goes on.
    QCOMPARE(time.At(QTime(23, 59, 59)), qint64(86399000));
    QCOMPARE(time.At(QTime(0, 0, 1)), qint64(86401000));
    // A new run starts its clock from zero; the chart carries on after the first run.
    time.BeginRun();
    QCOMPARE(time.Last(), qint64(86401000));
    QCOMPARE(time.At(QTime(0, 0, 0, 250)), qint64(86401250));
    // A null clock (no run started) reads as the start of the day.
    RunningTime fresh;
    QCOMPARE(fresh.At(QTime()), qint64(0));
}

void ChartDataTest::timeAxisStep_data()
{
    QTest::addColumn<qint64>("span");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<qint64>("step");
    QTest::newRow("a second") << qint64(1000) << 4 << qint64(500);
    QTest::newRow("a minute") << qint64(60000) << 4 << qint64(15000);
    QTest::newRow("ten minutes") << qint64(600000) << 4 << qint64(300000);
    QTest::newRow("an hour") << qint64(3600000) << 4 << qint64(900000);
    QTest::newRow("a day") << qint64(86400000) << 4 << qint64(6 * 3600000);
    QTest::newRow("a week") << qint64(7) * 86400000 << 4 << qint64(2) * 86400000;
    QTest::newRow("ten weeks") << qint64(70) * 86400000 << 4 << qint64(21) * 86400000;
    QTest::newRow("nothing") << qint64(0) << 4 << qint64(100);
    QTest::newRow("no ticks asked") << qint64(60000) << 0 << qint64(60000);
}

void ChartDataTest::timeAxisStep()
{
    QFETCH(qint64, span);
    QFETCH(int, ticks);
    QFETCH(qint64, step);
    QCOMPARE(TimeAxisStep(span, ticks), step);
}

void ChartDataTest::timeAxisText_data()
{
    QTest::addColumn<qint64>("time");
    QTest::addColumn<qint64>("step");
    QTest::addColumn<QString>("text");
    QTest::newRow("minutes") << qint64(3723000) << qint64(300000) << "1:02";
    QTest::newRow("seconds") << qint64(3723000) << qint64(15000) << "1:02:03";
    QTest::newRow("tenths") << qint64(3723400) << qint64(500) << "1:02:03.4";
    QTest::newRow("past a day") << qint64(170) * 3600000 << qint64(86400000) << "170:00";
    QTest::newRow("zero") << qint64(0) << qint64(1000) << "0:00:00";
    QTest::newRow("before zero") << qint64(-90000) << qint64(30000) << "-0:01:30";
}

void ChartDataTest::timeAxisText()
{
    QFETCH(qint64, time);
    QFETCH(qint64, step);
    QFETCH(QString, text);
    QCOMPARE(TimeAxisText(time, step), text);
}

void ChartDataTest::readout_data()
{
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("at a sample") << qint64(1000) << "0:00:01  12.340 В  0.5670 А";
    QTest::newRow("nearer the earlier") << qint64(1400) << "0:00:01  12.340 В  0.5670 А";
    QTest::newRow("nearer the later") << qint64(1600) << "0:00:02  0.000 В  -0.0001 А";
    QTest::newRow("at a gap") << qint64(3100) << "0:00:03  нет данных";
    QTest::newRow("before the first") << qint64(-5000) << "0:00:01  12.340 В  0.5670 А";
    QTest::newRow("after the last") << qint64(4000000) << "1:00:00  30.000 В  9.9990 А";
}

void ChartDataTest::readout()
{
    QFETCH(qint64, time);
    QFETCH(QString, text);
    SampleTrack track;
    QCOMPARE(ChartReadout(track, 0), QString());
    Fill(track, "1000:12340:5670 2000:0:-1 3000:- 3600000:30000:99990");
    QCOMPARE(ChartReadout(track, time), text);
}

QTEST_MAIN(ChartDataTest)
#include "tst_chartdata.moc"
