#include "log/logline.h"

#include <QLatin1Char>
#include <QLatin1String>
#include <QLocale>

namespace {

// The C locale keeps the digits ASCII whatever the system locale is.
QString TimeText(const QTime &time, const char *format)
{
    return QLocale::c().toString(time, QLatin1String(format));
}
} // namespace

std::optional<LogSample> TakeLogSample(int logValue, const OutputStatus &status,
                                       const AdcReadings &adc, bool &statusFresh, bool &adcFresh)
{
    const bool fineRange = status.currentRange != 0;
    bool &fresh = logValue == 0 ? statusFresh : adcFresh;
    if (!fresh)
        return std::nullopt;
    fresh = false;

    LogSample sample;
    if (logValue == 0) {
        sample.voltage = qint64(status.voltage) * 10;
        sample.current = fineRange ? qint64(status.current) : qint64(status.current) * 10;
    } else {
        sample.voltage = adc.sdadcVoltage;
        sample.current = fineRange ? qint64(adc.fineCurrent) : qint64(adc.sdadcCurrent) * 10;
    }
    return sample;
}

QString LogTimeText(int timeForm, const QTime &logClock, const QTime &startClock,
                    const QTime &tickClock)
{
    switch (timeForm) {
    case 0:
        return TimeText(logClock, "hh:mm:ss");
    case 1:
        return TimeText(logClock, "mm:ss");
    case 2:
        // Both clocks are times of day: past midnight the difference turns negative. Exported
        // logs have always carried this count, so it stays as it is.
        return QString::number(startClock.secsTo(tickClock));
    case 3:
        return TimeText(tickClock, "hh:mm:ss");
    default:
        return QString();
    }
}

QString LogLine(const LogSettings &settings, const LogSample &sample, const QTime &logClock,
                const QTime &startClock, const QTime &tickClock)
{
    // QString::number always formats with a point; a comma is an explicit choice.
    QString values = QString::number(double(sample.voltage) / 1000, 'f', 3) + QLatin1Char(' ') +
                     QString::number(double(sample.current) / 10000, 'f', 4) + QLatin1Char('\n');
    if (settings.commeDot == 1)
        values.replace(QLatin1Char('.'), QLatin1Char(','));

    if (settings.addTime != 1)
        return values;
    return LogTimeText(settings.timeForm, logClock, startClock, tickClock) + QLatin1Char(' ') +
           values;
}
