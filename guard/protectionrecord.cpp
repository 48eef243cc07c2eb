#include "guard/protectionrecord.h"

#include <QFile>
#include <QSaveFile>

namespace {

QString Unit(TripKind kind)
{
    return kind == TripKind::Voltage   ? QStringLiteral("В")
           : kind == TripKind::Current ? QStringLiteral("А")
                                       : QStringLiteral("Вт");
}

int Decimals(TripKind kind)
{
    return kind == TripKind::Current ? 4 : 2;
}

QString What(TripKind kind)
{
    return kind == TripKind::Voltage   ? QStringLiteral("напряжение")
           : kind == TripKind::Current ? QStringLiteral("ток")
                                       : QStringLiteral("мощность");
}

// Keeps the newer half of a record that has grown past its bound, from a line's start.
QString Shorten(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    QByteArray kept = file.readAll();
    file.close();
    kept.remove(0, kept.size() / 2);
    kept.remove(0, kept.indexOf('\n') + 1);
    QSaveFile shorter(path);
    if (!shorter.open(QIODevice::WriteOnly) || shorter.write(kept) < 0 || !shorter.commit())
        return shorter.errorString();
    return QString();
}

} // namespace

QString TripName(TripKind kind)
{
    return kind == TripKind::Voltage   ? QStringLiteral("OVP")
           : kind == TripKind::Current ? QStringLiteral("OCP")
                                       : QStringLiteral("OPP");
}

QString TripText(const Trip &trip)
{
    const int decimals = Decimals(trip.kind);
    return QStringLiteral("%1 %2 %3 > %4 %3")
        .arg(What(trip.kind), QString::number(trip.value, 'f', decimals), Unit(trip.kind),
             QString::number(trip.level, 'f', decimals));
}

namespace ProtectionRecord {

QString Line(const QDateTime &at, const Trip &trip)
{
    const int decimals = Decimals(trip.kind);
    return QStringLiteral("%1 %2 %3 %4 > %5 %4 (%6 V, %7 A)")
        .arg(at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate), TripName(trip.kind),
             QString::number(trip.value, 'f', decimals),
             trip.kind == TripKind::Voltage   ? QStringLiteral("V")
             : trip.kind == TripKind::Current ? QStringLiteral("A")
                                              : QStringLiteral("W"),
             QString::number(trip.level, 'f', decimals), QString::number(trip.volts, 'f', 2),
             QString::number(trip.amps, 'f', 4));
}

QString Append(const QString &path, const QString &line)
{
    if (QFile(path).size() > MaxBytes) {
        const QString problem = Shorten(path);
        if (!problem.isEmpty())
            return problem;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write((line + QLatin1Char('\n')).toUtf8()) < 0)
        return file.errorString();
    return QString();
}

} // namespace ProtectionRecord
