#pragma once

#include "sensormodel.h"
#include "simulator.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// One sensor on the line, as the command line starts it.
struct SensorOptions
{
    SensorSettings settings; // the state at start; factory reset goes back to the defaults
    SensorReadings readings;
    std::optional<quint32> randomWalkSeed;
    UnitNoise noise;
};

struct SimulatorOptions
{
    std::vector<SensorOptions> sensors; // at least one; the first from the options before --sensor
    ServeOptions serve;
    QString linkPath;
};

// Parses the command line. --help and --version print and exit; a bad option or value returns
// false with a message.
bool parseOptions(const QStringList &arguments, SimulatorOptions &options, QString &error);
