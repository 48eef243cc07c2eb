#include "cli/scpianswer.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

constexpr double NotANumber = 9.91e37;

QString Detail(const ScpiQueueEntry &entry)
{
    return QStringLiteral(" (панель: %1, «%2»)").arg(entry.code).arg(entry.text);
}

} // namespace

ScpiReading ParseScpiReading(const QByteArray &answer, double stepsPerUnit)
{
    bool number = false;
    const double value = answer.toDouble(&number);
    if (!number || !std::isfinite(value))
        return ScpiReading();
    // Parsed from the same text, the two doubles are equal; any other value that large is no
    // reading at all.
    if (value == NotANumber)
        return ScpiReading{ScpiReading::Kind::Stale, 0};
    const double steps = std::round(value * stepsPerUnit);
    if (std::abs(steps) > std::numeric_limits<qint32>::max())
        return ScpiReading();
    static const QRegularExpression fraction(QStringLiteral("\\.(\\d*)"));
    const int decimals = int(fraction.match(QString::fromLatin1(answer)).capturedLength(1));
    return ScpiReading{ScpiReading::Kind::Value, qint32(steps), decimals};
}

std::optional<double> ParseScpiCount(const QByteArray &answer)
{
    bool number = false;
    const double value = answer.trimmed().toDouble(&number);
    if (!number || !std::isfinite(value) || value < 0 || value == NotANumber)
        return std::nullopt;
    return value;
}

std::optional<ScpiQueueEntry> ParseScpiQueueEntry(const QByteArray &answer)
{
    static const QRegularExpression entry(
        QStringLiteral("^([+-]?\\d{1,6}),\"((?:[^\"]|\"\")*)\"$"));
    const QRegularExpressionMatch match = entry.match(QString::fromUtf8(answer.trimmed()));
    if (!match.hasMatch())
        return std::nullopt;
    QString text = match.captured(2);
    text.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    return ScpiQueueEntry{match.captured(1).toInt(), text};
}

ScpiFailure FailureOfQueueEntry(const ScpiQueueEntry &entry)
{
    switch (entry.code) {
    case -230:
        return {Failure::NoReply, QStringLiteral("преобразователь не отвечает") + Detail(entry)};
    case -222:
        return {Failure::Usage,
                QStringLiteral("панель отклонила значение: выше ограничения уставки в её защите "
                               "или вне пределов") +
                    Detail(entry)};
    case -241:
        return {Failure::NoReply,
                QStringLiteral("к панели не подключён преобразователь") + Detail(entry)};
    case -240:
        // The panel tried four times, as vornexctl does on a port.
        if (entry.text.contains(QLatin1String("no reply")))
            return {Failure::NoReply,
                    QStringLiteral("преобразователь не отвечает (4 попытки)") + Detail(entry)};
        if (entry.text.contains(QLatin1String("bad reply")))
            return {Failure::BadReply,
                    QStringLiteral("неверный ответ преобразователя (4 попытки)") + Detail(entry)};
        return {Failure::BadReply, QStringLiteral("запись не удалась") + Detail(entry)};
    default:
        return {Failure::BadReply, QStringLiteral("панель не приняла команду") + Detail(entry)};
    }
}
