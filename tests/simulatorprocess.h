#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs px8107-sim for an end-to-end test: start() waits for the terminal path it prints first.
class SimulatorProcess
{
public:
    explicit SimulatorProcess(const QStringList &extraArguments = {});
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    bool start(int timeoutMs = 5000);
    QString ptyPath() const { return ptyPath_; }
    // The next terminal path the simulator prints, as it does when it comes back after vanishing
    // (--return-after); empty on timeout.
    QString waitForNextPath(int timeoutMs);
    // Everything the simulator has written to stderr so far.
    QByteArray log();
    // The bytes of every request in the --verbose log so far, framed and understood or not, in
    // order: one entry per "request N [hex]" line. Empty: nothing was sent on the line.
    QByteArrayList requests();
    // Every byte the simulator has received so far (its "rx" lines), requests and noise alike.
    QByteArray received();
    // SIGTERM, then wait for the exit.
    void stop();

    bool waitForExit(int timeoutMs);
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    // Exit code of a process that ended normally, -1 otherwise.
    int exitCode() const;

private:
    QProcess process_;
    QStringList arguments_;
    QString ptyPath_;
    QByteArray log_;
};
