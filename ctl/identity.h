#pragma once

#include "ctl/exitcode.h"
#include "device/sensorclient.h"

class Session;

struct Identity
{
    QString deviceId;
    QString firmware;
};

// Device ID and firmware are answered only in the native protocol: the sensor is switched to it
// for the two reads and back to Modbus, which is confirmed, whatever the reads gave.
Answer<Identity> readIdentity(SensorClient &client);

// Opens the line, finds the sensor's own address when none was given, and reads its identity:
// the first steps of every command that records which sensor it worked on.
ExitCode connectAndIdentify(Session &session, Identity &identity);
