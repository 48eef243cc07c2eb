#include "sim/loadprofile.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace {

constexpr double Open = std::numeric_limits<double>::infinity();

double conductance(double ohms)
{
    return ohms > 0 && !std::isinf(ohms) ? 1.0 / ohms : 0.0;
}

} // namespace

std::optional<LoadProfile> LoadProfile::parse(const QString &list, qint64 stepMs, bool ramp)
{
    LoadProfile profile;
    profile.stepMs = qMax<qint64>(1, stepMs);
    profile.ramp = ramp;
    for (const QString &entry : list.split(QLatin1Char(','))) {
        const QString word = entry.trimmed();
        bool ok = word == QLatin1String("open");
        const double ohms = ok ? Open : word.toDouble(&ok);
        if (!ok || !(ohms >= 0))
            return std::nullopt;
        profile.ohms.append(ohms);
    }
    return profile;
}

double LoadProfile::resistanceAt(qint64 elapsedMs) const
{
    if (ohms.isEmpty())
        return Open;
    const qint64 step = qMax<qint64>(1, stepMs);
    const qint64 t = qMax<qint64>(0, elapsedMs);
    const int index = int((t / step) % ohms.size());
    if (!ramp)
        return ohms.at(index);
    const double along = double(t % step) / double(step);
    const double g = conductance(ohms.at(index)) * (1.0 - along) +
                     conductance(ohms.at((index + 1) % ohms.size())) * along;
    return g > 0 ? 1.0 / g : Open;
}

QString LoadProfile::text() const
{
    QStringList entries;
    for (double r : ohms)
        entries << (std::isinf(r) ? QStringLiteral("open") : QString::number(r));
    return QStringLiteral("%1 ohm, %2 s each%3")
        .arg(entries.join(QLatin1Char(',')))
        .arg(double(stepMs) / 1000.0)
        .arg(ramp ? QStringLiteral(", ramp") : QString());
}
