#include "app/lcdtext.h"

#include "link/quantities.h"

namespace {

constexpr int shownDigits = 4;
// Four digits hold amperes to the milliampere: the fine range's tenths do not fit.
constexpr int currentDecimals = 3;

QString DigitsWithPoint(qint64 value, int pointAfter, int digitCount)
{
    qint64 divisor = 1;
    for (int i = 1; i < digitCount; ++i)
        divisor *= 10;
    QString text;
    for (int k = 0; k < shownDigits; ++k) {
        text += QChar('0' + int(value / divisor % 10));
        value %= divisor;
        if (k == pointAfter)
            text += QChar('.');
        divisor = qMax<qint64>(divisor / 10, 1);
    }
    return text;
}

QString ReadingText(Quantity quantity, qint32 counts, int decimals)
{
    return LcdText(qint32(CountsAtDecimals(quantity, counts, decimals)), shownDigits - 1 - decimals,
                   shownDigits);
}

} // namespace

QString LcdText(qint32 value, int pointAfter, int digitCount)
{
    qint64 limit = 1;
    for (int i = 0; i < qMax(digitCount, 1); ++i)
        limit *= 10;
    const qint64 magnitude = qAbs(qint64(value));
    if (magnitude >= limit) {
        QString dashes(shownDigits, QChar('-'));
        if (pointAfter >= 0 && pointAfter < shownDigits - 1)
            dashes.insert(pointAfter + 1, QChar('.'));
        return dashes;
    }
    QString text = DigitsWithPoint(magnitude, pointAfter, digitCount);
    if (value >= 0)
        return text;
    // The sign takes the leftmost digit position; a significant digit there pushes the last
    // digit out instead, so the text never grows beyond the display.
    if (text.startsWith(QChar('0')))
        return QChar('-') + text.mid(1);
    return QChar('-') + text.left(text.size() - 1);
}

QString VoltageLcdText(const OutputStatus &status)
{
    const Quantity quantity = Quantity::OutputVoltage;
    return ReadingText(quantity, status.voltage, ScaleOf(quantity).decimals);
}

QString CurrentLcdText(const OutputStatus &status)
{
    return ReadingText(CurrentQuantity(status), status.current, currentDecimals);
}
