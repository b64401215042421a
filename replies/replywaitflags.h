#pragma once

#include <QtGlobal>

// Awaited replies: fields 1 to 13 are raised by their queries and served, in declaration order,
// by the next function-3 reply; baudProbeState is the state of the baud-rate search.
struct ReplyWaitFlags
{
    quint8 waitSensorData = 0;
    quint8 waitAutoCleanDust = 0;
    quint8 waitHeatMode = 0;
    quint8 waitWorkMode = 0;
    quint8 waitDeviceAddr = 0;
    quint8 waitSelfCheck = 0;
    quint8 waitGlobalOnOff = 0;
    quint8 waitTempHumi = 0;
    quint8 waitHeatTemp = 0;
    quint8 waitHeatHumi = 0;
    quint8 waitCalibrate = 0;
    quint8 waitTransRead = 0;
    quint8 waitFactor = 0;
    quint8 baudProbeState = 0;
};

// Program-wide: opening or closing the port does not reset them.
extern ReplyWaitFlags replyWaitFlags;
extern quint32 baudProbeTicks;
