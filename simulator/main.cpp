#include "options.h"
#include "ptyport.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

bool installStopSignals()
{
    if (pipe(signalPipe) != 0)
        return false;
    for (const int fd : signalPipe)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action
    {
    };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void fail(const QString &message, int exitCode)
{
    std::fprintf(stderr, "px8107-sim: %s\n", qPrintable(message));
    std::exit(exitCode);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("px8107-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    constexpr int usageError = 2;
    constexpr int runtimeError = 1;
    SimulatorOptions options;
    QString error;
    if (!parseOptions(QCoreApplication::arguments(), options, error))
        fail(error, usageError);
    if (!installStopSignals())
        fail(QStringLiteral("cannot install signal handlers"), runtimeError);

    PtyPort port;
    if (!port.open(options.sensors.front().settings.lineRate, &error))
        fail(error, runtimeError);
    QString terminal = port.terminalPath();
    // The link first: whoever reads the path may use the link at once.
    if (!options.linkPath.isEmpty() && !createLink(options.linkPath, terminal, &error))
        fail(error, runtimeError);
    std::printf("%s\n", qPrintable(terminal));
    std::fflush(stdout);

    std::vector<SensorModel> sensors;
    for (const SensorOptions &sensor : options.sensors) {
        sensors.emplace_back(sensor.settings, sensor.readings);
        if (sensor.randomWalkSeed)
            sensors.back().enableRandomWalk(*sensor.randomWalkSeed);
        sensors.back().setUnitNoise(sensor.noise);
    }
    SensorLine line(std::move(sensors));
    Simulator simulator(port, line, options.serve);

    QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    QObject::connect(&simulator, &Simulator::vanished, &app, [&] {
        port.close();
        if (!options.linkPath.isEmpty())
            removeLink(options.linkPath, terminal);
        if (options.serve.returnAfterMs < 0) {
            QCoreApplication::quit();
            return;
        }
        // Back on a new terminal, at the rate sensor 1 has now, with every sensor as it was.
        QTimer::singleShot(options.serve.returnAfterMs, &app, [&] {
            QString reopenError;
            bool reopened = port.open(line.sensor(0).lineRate(), &reopenError);
            if (reopened) {
                terminal = port.terminalPath();
                reopened = options.linkPath.isEmpty() ||
                           createLink(options.linkPath, terminal, &reopenError);
            }
            if (!reopened) {
                std::fprintf(stderr, "px8107-sim: %s\n", qPrintable(reopenError));
                QCoreApplication::exit(runtimeError);
                return;
            }
            std::printf("%s\n", qPrintable(terminal));
            std::fflush(stdout);
            simulator.resume();
        });
    });

    const int exitCode = app.exec();
    port.close();
    if (!options.linkPath.isEmpty())
        removeLink(options.linkPath, terminal);
    return exitCode;
}
