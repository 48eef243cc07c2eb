#pragma once

#include <QtGlobal>

// Records exchanged with the converter. Every field is a 32-bit integer widened from its wire
// type; all start at zero so that nothing undefined is ever shown or sent.

struct OutputStatus
{
    qint32 voltage = 0; // 10 mV steps
    qint32 current = 0; // mA, or 0.1 mA while currentRange is non-zero
    qint32 ccMode = 0;
    qint32 cvMode = 0;
    qint32 currentRange = 0;
    qint32 outputOn = 0;
};

struct AdcReadings
{
    qint32 sdadcVoltage = 0;     // mV
    qint32 sdadcCurrent = 0;     // mA
    qint32 fineCurrent = 0;      // 0.1 mA
    qint32 inputVoltage = 0;     // mV
    qint32 reserve = 0;          // unused
    qint32 referenceVoltage = 0; // mV
};

struct Setpoints
{
    qint32 voltage = 0; // mV
    qint32 current = 0; // mA
};

struct CalibrationBlock
{
    qint32 kuDacVolt = 0;
    qint32 kuAdcVolt = 0;
    qint32 kuDacCurr = 0;
    qint32 kuAdcCurr = 0;
    qint32 kuAdcCurrFine = 0;
    qint32 offDacVolt = 0;
    qint32 offAdcVolt = 0;
    qint32 offDacCurr = 0;
    qint32 offAdcCurr = 0;
    qint32 offAdcCurrFine = 0;
    qint32 rout = 0;
};

struct UserParamBlock
{
    qint32 nvpStatus = 0;
    qint32 lifeCounter = 0;
    qint32 currTrigStat = 0;
    qint32 currTrigTime = 0;
    qint32 ioutMax = 0;
    qint32 uoutMax = 0;
    qint32 poutMax = 0;
    qint32 routUser = 0;
    qint32 fanGainCurrent = 0;
    qint32 fanDelay = 0;
    qint32 fanDutyOff = 0;
};
