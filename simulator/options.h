#pragma once

#include "sensormodel.h"
#include "simulator.h"

#include <QString>
#include <QStringList>
#include <optional>

struct SimulatorOptions
{
    SensorSettings settings; // the state at start; factory reset goes back to the defaults
    SensorReadings readings;
    std::optional<quint32> randomWalkSeed;
    ServeOptions serve;
    QString linkPath;
};

// Parses the command line. --help and --version print and exit; a bad option or value returns
// false with a message.
bool parseOptions(const QStringList &arguments, SimulatorOptions &options, QString &error);
