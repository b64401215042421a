#pragma once

#include "ctl/session.h"

#include <QCommandLineParser>

// One row per command: how it is called, what it says about itself, and what runs it.
struct CommandRow
{
    const char *name;
    const char *summary;
    const char *arguments; // shown in the usage line after the options
    void (*addOptions)(QCommandLineParser &parser);
    ExitCode (*run)(Session &session);
};

void noOptions(QCommandLineParser &parser);

ExitCode runPorts(Session &session);
ExitCode runInfo(Session &session);
void addReadOptions(QCommandLineParser &parser);
ExitCode runRead(Session &session);
ExitCode runKeys(Session &session);
ExitCode runGet(Session &session);
ExitCode runSet(Session &session);
void addScanOptions(QCommandLineParser &parser);
ExitCode runScan(Session &session);
void addMonitorOptions(QCommandLineParser &parser);
ExitCode runMonitor(Session &session);
void addSnapshotOptions(QCommandLineParser &parser);
ExitCode runSnapshot(Session &session);
void addApplyOptions(QCommandLineParser &parser);
ExitCode runApply(Session &session);
void addTestOptions(QCommandLineParser &parser);
ExitCode runTest(Session &session);

// With --address 0 (unit 0), the sensor's own address, so rows and snapshots name it.
ExitCode readAddress(Session &session);

extern const CommandRow commandTable[];
extern const int commandCount;
const CommandRow *findCommand(const QString &name);
