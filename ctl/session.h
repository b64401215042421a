#pragma once

#include "ctl/exitcode.h"
#include "ctl/output.h"
#include "device/sensorclient.h"
#include "serial/requestengine.h"

#include <QCommandLineParser>
#include <QJsonObject>
#include <optional>

struct GlobalOptions
{
    QString port;
    std::optional<qint32> baudRate; // nothing: search the rates
    quint8 address = 0;
    int timeoutMs = RequestEngine::defaultTimeoutMs;
    bool timeoutGiven = false;
    int retries = RequestEngine::defaultRetries;
    bool retriesGiven = false;
    bool json = false;
    bool verbose = false;
};

void addGlobalOptions(QCommandLineParser &parser);
// Nothing, with a message naming the option, when a value is bad.
std::optional<GlobalOptions> readGlobalOptions(const QCommandLineParser &parser, QString *error);

// Rates the sensor may be set to, searched by --baud auto in this order.
constexpr qint32 lineRates[] = {19200, 9600, 4800, 2400};

// What one command runs with: its parsed command line, the output, the engine and the client.
class Session
{
public:
    Session(const QCommandLineParser &parser, const GlobalOptions &options, Output &output);

    const QCommandLineParser &parser;
    const GlobalOptions options;
    Output &out;
    RequestEngine engine;
    SensorClient client;

    // Opens --port at --baud, searching the rates for "auto". Nothing on success; otherwise the
    // failure has been reported.
    std::optional<ExitCode> connect();

    ExitCode usage(const QString &message);
    // Reports a failed operation: stderr, and with --json an error document on stdout.
    ExitCode failed(const ClientFailure &failure, const QString &what);
    // Writes the command's data: the document with --json, the text otherwise.
    ExitCode finish(const QJsonObject &document, const QString &text);

private:
    void reportCounters();
};

ExitCode exitCodeFor(const ClientFailure &failure);
