#include "cli/valuetext.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

QString Quoted(const QString &text)
{
    return QStringLiteral("«%1»").arg(text);
}

} // namespace

std::optional<double> ParseDecimal(const QString &text, const DecimalRange &range,
                                   const QString &unit, QString &problem)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?(\\d+\\.?(\\d*)|\\.(\\d+))$"));
    const QRegularExpressionMatch match = decimal.match(text);
    if (!match.hasMatch()) {
        problem = text.contains(QLatin1Char(','))
                      ? QStringLiteral("%1: десятичный разделитель — точка").arg(Quoted(text))
                      : QStringLiteral("%1 — не число").arg(Quoted(text));
        return std::nullopt;
    }
    QString fraction = match.captured(2) + match.captured(3);
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (fraction.size() > range.decimals) {
        problem = QStringLiteral("%1: не больше %2 знаков после точки")
                      .arg(Quoted(text))
                      .arg(range.decimals);
        return std::nullopt;
    }
    const double value = QLocale::c().toDouble(text);
    if (value < range.minimum || value > range.maximum) {
        problem = QStringLiteral("%1 вне диапазона от %2 до %3 %4")
                      .arg(Quoted(text), QString::number(range.minimum, 'f', range.decimals),
                           QString::number(range.maximum, 'f', range.decimals), unit);
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParseWholeNumber(const QString &text, int minimum, int maximum, QString &problem)
{
    static const QRegularExpression digits(QStringLiteral("^[+-]?\\d+$"));
    if (!digits.match(text).hasMatch()) {
        problem = QStringLiteral("%1 — не целое число").arg(Quoted(text));
        return std::nullopt;
    }
    // Too many digits for a 64-bit number is out of range all the same.
    bool fits = false;
    const qlonglong value = text.toLongLong(&fits);
    if (!fits || value < minimum || value > maximum) {
        problem = QStringLiteral("%1 вне диапазона от %2 до %3")
                      .arg(Quoted(text))
                      .arg(minimum)
                      .arg(maximum);
        return std::nullopt;
    }
    return int(value);
}
