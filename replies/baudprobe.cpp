#include "baudprobe.h"

#include "commands/registermap.h"
#include "commands/requests.h"

namespace baudprobe {

qint32 rateOfState(quint8 state)
{
    // The retune targets 2 to 4 have rates of their own; 5, and anything else, falls back.
    for (const RateRow &row : rates)
        if (row.state == state && state >= 2 && state <= 4)
            return row.baud;
    return 9600;
}

const char *messageOfState(quint8 state)
{
    for (const RateRow &row : rates)
        if (row.state == state)
            return row.message;
    return nullptr;
}

QByteArray probeRequest()
{
    return requests::query(Register::DeviceAddress);
}

bool acceptsReply(const RxBuffer &b)
{
    return b[0] == b[4] && b[2] == 2;
}

TickStep endOfTick(quint8 state, quint32 ticks)
{
    TickStep step{state, ticks, std::nullopt, 0};
    if (state == 0)
        return step;
    step.newTicks = ticks + 1;
    if (step.newTicks % ticksPerRate != 1)
        return step;
    const quint8 next = quint8(state + 1);
    step.announcedState = next;
    step.retuneTo = rateOfState(next);
    step.newState = quint8(next % exhaustedState);
    return step;
}

} // namespace baudprobe
