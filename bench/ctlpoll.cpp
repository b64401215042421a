// Reads the average measurement as fast as the line allows, through the engine and client that
// px8107ctl runs on, and prints
//   reads=<ok reads> failures=<failed reads> seconds=<elapsed>
//
//   px8107-bench-ctlpoll PORT RATE SECONDS

#include "device/sensorclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: px8107-bench-ctlpoll PORT RATE SECONDS\n");
        return 2;
    }
    RequestEngine engine;
    if (!engine.open(arguments[1], arguments[2].toInt())) {
        std::fprintf(stderr, "%s\n", qPrintable(engine.errorText()));
        return 6;
    }
    SensorClient client(engine, 1);
    const qint64 durationMs = qint64(arguments[3].toDouble() * 1000);
    QElapsedTimer clock;
    clock.start();
    long reads = 0;
    long failures = 0;
    while (clock.elapsed() < durationMs)
        ++(client.measurement(0) ? reads : failures);
    std::printf("reads=%ld failures=%ld seconds=%.3f\n", reads, failures,
                double(clock.nsecsElapsed()) / 1e9);
    return 0;
}
