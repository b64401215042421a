#include "simulatorprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

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

QString SimulatorProcess::waitForNextPath(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
            return {};
    }
    ptyPath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    return ptyPath_;
}

QByteArrayList SimulatorProcess::requests()
{
    static const QRegularExpression line(QStringLiteral(" request \\d+ \\[([0-9a-f ]*)\\]"));
    QByteArrayList found;
    QRegularExpressionMatchIterator matches = line.globalMatch(QString::fromLatin1(log()));
    while (matches.hasNext())
        found.append(QByteArray::fromHex(matches.next().captured(1).toLatin1()));
    return found;
}

QByteArray SimulatorProcess::received()
{
    static const QRegularExpression line(QStringLiteral(" rx ([0-9a-f ]*)\n"));
    QByteArray bytes;
    QRegularExpressionMatchIterator matches = line.globalMatch(QString::fromLatin1(log()));
    while (matches.hasNext())
        bytes += QByteArray::fromHex(matches.next().captured(1).toLatin1());
    return bytes;
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
