#include "app/timescale.h"

#include "chart/timeaxis.h"

#include <cmath>

QwtScaleDiv TimeScaleEngine::divideScale(double x1, double x2, int maxMajorSteps, int maxMinorSteps,
                                         double stepSize) const
{
    if (stepSize == 0.0)
        stepSize = double(TimeAxisStep(qint64(std::abs(x2 - x1)), maxMajorSteps));
    return QwtLinearScaleEngine::divideScale(x1, x2, maxMajorSteps, maxMinorSteps, stepSize);
}

QwtText TimeScaleDraw::label(double value) const
{
    const QList<double> ticks = scaleDiv().ticks(QwtScaleDiv::MajorTick);
    const double step = ticks.size() > 1 ? ticks.at(1) - ticks.at(0) : 1000.0;
    return QwtText(TimeAxisText(std::llround(value), std::llround(step)));
}
