#pragma once

#include <qwt_scale_draw.h>
#include <qwt_scale_engine.h>

// The chart's time axis for Qwt: ticks on whole seconds, minutes, hours or days of running time
// (milliseconds on the axis), labelled "ч:мм" or "ч:мм:сс".
class TimeScaleEngine : public QwtLinearScaleEngine
{
public:
    QwtScaleDiv divideScale(double x1, double x2, int maxMajorSteps, int maxMinorSteps,
                            double stepSize = 0.0) const override;
};

class TimeScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double value) const override;
};
