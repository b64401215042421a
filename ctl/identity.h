#pragma once

#include "device/sensorclient.h"

struct Identity
{
    QString deviceId;
    QString firmware;
};

// Device ID and firmware are answered only in the native protocol: the sensor is switched to it
// for the two reads and back to Modbus, which is confirmed, whatever the reads gave.
Answer<Identity> readIdentity(SensorClient &client);
