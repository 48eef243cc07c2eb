#include "session/setpointunits.h"

namespace {
constexpr double rounding = 0.0002;
}

qint32 SetpointMilli(double value)
{
    return qint32((value + rounding) * 1000.0);
}
