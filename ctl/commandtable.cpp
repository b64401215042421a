#include "commands.h"

#include <iterator>

const CommandRow commandTable[] = {
    {"ports", QT_TRANSLATE_NOOP("px8107ctl", "List the serial ports with their USB details."), "",
     noOptions, runPorts},
    {"info",
     QT_TRANSLATE_NOOP("px8107ctl",
                       "Show protocol, rate, address, device ID, firmware, work mode and "
                       "self-check."),
     "", noOptions, runInfo},
    {"read", QT_TRANSLATE_NOOP("px8107ctl", "Read PM2.5, PM10 and PM100 in µg/m³."), "",
     addReadOptions, runRead},
    {"keys", QT_TRANSLATE_NOOP("px8107ctl", "List the setting keys with their ranges."), "",
     noOptions, runKeys},
    {"get", QT_TRANSLATE_NOOP("px8107ctl", "Read settings by key."), "KEY...", noOptions, runGet},
    {"set",
     QT_TRANSLATE_NOOP("px8107ctl",
                       "Write settings by key and confirm each by reading it back. Every value "
                       "is checked before anything is sent."),
     "KEY=VALUE...", noOptions, runSet},
    {"scan", QT_TRANSLATE_NOOP("px8107ctl", "Find the sensors on the line at each rate."), "",
     addScanOptions, runScan},
    {"monitor",
     QT_TRANSLATE_NOOP("px8107ctl",
                       "Record samples on a fixed schedule as CSV, JSON lines or line protocol."),
     "", addMonitorOptions, runMonitor},
    {"snapshot", QT_TRANSLATE_NOOP("px8107ctl", "Save every setting to one JSON document."), "",
     addSnapshotOptions, runSnapshot},
    {"apply",
     QT_TRANSLATE_NOOP("px8107ctl",
                       "Write the settings of a snapshot that differ, and verify each by reading "
                       "it back."),
     "FILE", addApplyOptions, runApply},
    {"test",
     QT_TRANSLATE_NOOP("px8107ctl",
                       "Run the end-of-line test of a profile: checks, verdict and report row."),
     "PROFILE.json", addTestOptions, runTest},
};
const int commandCount = int(std::size(commandTable));

void noOptions(QCommandLineParser &) {}

const CommandRow *findCommand(const QString &name)
{
    for (const CommandRow &row : commandTable)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}
