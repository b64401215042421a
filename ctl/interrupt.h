#pragma once

// SIGINT and SIGTERM only set a flag; long-running commands poll it between samples, so the
// sample in flight is finished and written before they stop.
void installInterruptHandlers();
bool interruptRequested();

// Holds SIGINT and SIGTERM back while the sensor is in a state it must not be left in (switched
// to its native protocol); a signal that came meanwhile takes effect when the guard ends.
class InterruptDeferral
{
public:
    InterruptDeferral();
    ~InterruptDeferral();
    InterruptDeferral(const InterruptDeferral &) = delete;
    InterruptDeferral &operator=(const InterruptDeferral &) = delete;

private:
    bool handlersWereInstalled_;
};
