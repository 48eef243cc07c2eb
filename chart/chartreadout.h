#pragma once

#include "chart/sampletrack.h"

#include <QString>

// The cursor readout for a time on the chart: the running time, voltage and current of the
// entry nearest to timeMs, as the log writes them ("1:02:03  12.340 В  0.5670 А"), or the time
// and "нет данных" when that entry is a gap. Empty for an empty track.
QString ChartReadout(const SampleTrack &track, qint64 timeMs);
