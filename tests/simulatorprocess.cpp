#include "simulatorprocess.h"

#include <QDeadlineTimer>

namespace {
constexpr int stopTimeoutMs = 3000;
}

SimulatorProcess::SimulatorProcess(const QStringList &extraArguments) : arguments_(extraArguments)
{
}

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

bool SimulatorProcess::start(int timeoutMs)
{
    process_.setProgram(QStringLiteral(PX8107_SIM_PATH));
    process_.setArguments(arguments_);
    process_.start(QIODevice::ReadOnly);
    QDeadlineTimer deadline(timeoutMs);
    if (!process_.waitForStarted(int(deadline.remainingTime())))
        return false;
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    ptyPath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    return !ptyPath_.isEmpty();
}

QByteArray SimulatorProcess::log()
{
    log_ += process_.readAllStandardError();
    return log_;
}

void SimulatorProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(stopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished(stopTimeoutMs);
    }
    log();
}

bool SimulatorProcess::waitForExit(int timeoutMs)
{
    if (process_.state() == QProcess::NotRunning)
        return true;
    const bool finished = process_.waitForFinished(timeoutMs);
    log();
    return finished;
}

int SimulatorProcess::exitCode() const
{
    if (process_.state() != QProcess::NotRunning || process_.exitStatus() != QProcess::NormalExit)
        return -1;
    return process_.exitCode();
}
