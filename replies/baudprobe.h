#pragma once

#include "replies/rxbuffer.h"

#include <QByteArray>
#include <optional>

// The baud-rate search: states 1 to 4 try 19200, 9600, 4800 and 2400 baud for three ticks each;
// state 5 exists only inside the end-of-tick step and falls back to 9600 with no answer.
namespace baudprobe {

constexpr qint32 startRate = 19200;
constexpr int ticksPerRate = 3;

struct RateRow
{
    quint8 state;
    qint32 baud;
    const char *message; // announced when this rate answers
};
constexpr RateRow rates[] = {
    {1, 19200, "Baudrate is 19200 !"},
    {2, 9600, "Baudrate is 9600 !"},
    {3, 4800, "Baudrate is 4800 !"},
    {4, 2400, "Baudrate is 2400 !"},
    {5, 9600, nullptr},
};
constexpr quint8 exhaustedState = 5;

// Rate of a state; anything but 2, 3 and 4 falls back to 9600.
qint32 rateOfState(quint8 state);
const char *messageOfState(quint8 state);

QByteArray probeRequest();

// A one-register reply whose address byte equals the register's low byte.
bool acceptsReply(const RxBuffer &b);

struct TickStep
{
    quint8 newState = 0;
    quint32 newTicks = 0;
    std::optional<qint32> retuneTo; // when set: retune the port, then send the probe request
    quint8 announcedState = 0;      // the state before the modulo, for the debug line
};
// End-of-tick step of the search, a pure function of the state and the tick counter.
TickStep endOfTick(quint8 state, quint32 ticks);

} // namespace baudprobe
