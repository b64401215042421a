#include "ctl/interrupt.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t receivedSignal = 0;
bool handlersInstalled = false;

void onInterrupt(int signal)
{
    receivedSignal = signal;
}

} // namespace

void installInterruptHandlers()
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    handlersInstalled = true;
}

bool interruptRequested()
{
    return receivedSignal != 0;
}

InterruptDeferral::InterruptDeferral() : handlersWereInstalled_(handlersInstalled)
{
    installInterruptHandlers();
}

InterruptDeferral::~InterruptDeferral()
{
    if (handlersWereInstalled_)
        return;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    handlersInstalled = false;
    if (receivedSignal != 0)
        std::raise(receivedSignal);
}
