#pragma once

#include <QTime>

// What the log records and how a line is written; handed from the log settings dialog to the
// main window on every poll tick. The two flags hold 0 or 1.
struct LogSettings
{
    int logValue = 0; // 0 display values, anything else the SDADC values
    int commeDot = 0; // 1: decimal comma
    QTime logPeriod;  // null until first filled
    int timeForm = 0; // index into the time column forms, -1 when none is selected
    int addTime = 0;  // 1: put a time column in front
};
