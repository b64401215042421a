#include "options.h"
#include "ptyport.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QSocketNotifier>

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
    QCoreApplication::setApplicationVersion(QStringLiteral(PX8107_VERSION));

    constexpr int usageError = 2;
    constexpr int runtimeError = 1;
    SimulatorOptions options;
    QString error;
    if (!parseOptions(QCoreApplication::arguments(), options, error))
        fail(error, usageError);
    if (!installStopSignals())
        fail(QStringLiteral("cannot install signal handlers"), runtimeError);

    PtyPort port;
    if (!port.open(options.settings.lineRate, &error))
        fail(error, runtimeError);
    const QString terminal = port.terminalPath();
    // The link first: whoever reads the path may use the link at once.
    if (!options.linkPath.isEmpty() && !createLink(options.linkPath, terminal, &error))
        fail(error, runtimeError);
    std::printf("%s\n", qPrintable(terminal));
    std::fflush(stdout);

    SensorModel model(options.settings, options.readings);
    if (options.randomWalkSeed)
        model.enableRandomWalk(*options.randomWalkSeed);
    Simulator simulator(port, model, options.serve);

    QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    QObject::connect(&simulator, &Simulator::vanished, &app, &QCoreApplication::quit);

    app.exec();
    port.close();
    if (!options.linkPath.isEmpty())
        removeLink(options.linkPath, terminal);
    return 0;
}
