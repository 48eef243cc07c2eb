#include "log/logline.h"

#include "link/quantities.h"

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
    bool &fresh = logValue == 0 ? statusFresh : adcFresh;
    if (!fresh)
        return std::nullopt;
    fresh = false;

    LogSample sample;
    if (logValue == 0) {
        sample.voltage = Rescaled(Quantity::OutputVoltage, status.voltage, Quantity::LogVoltage);
        sample.current = Rescaled(CurrentQuantity(status), status.current, Quantity::LogCurrent);
    } else {
        sample.voltage = Rescaled(Quantity::SdadcVoltage, adc.sdadcVoltage, Quantity::LogVoltage);
        sample.current =
            OnFineCurrentRange(status)
                ? Rescaled(Quantity::FineCurrent, adc.fineCurrent, Quantity::LogCurrent)
                : Rescaled(Quantity::SdadcCurrent, adc.sdadcCurrent, Quantity::LogCurrent);
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
    // The numbers come with a point whatever the locale; a comma is an explicit choice.
    QString values = UnitsText(Quantity::LogVoltage, sample.voltage) + QLatin1Char(' ') +
                     UnitsText(Quantity::LogCurrent, sample.current) + QLatin1Char('\n');
    if (settings.commeDot == 1)
        values.replace(QLatin1Char('.'), QLatin1Char(','));

    if (settings.addTime != 1)
        return values;
    return LogTimeText(settings.timeForm, logClock, startClock, tickClock) + QLatin1Char(' ') +
           values;
}
