#pragma once

#include <QByteArray>
#include <QString>

// Confirms a reply against the request it answers before any value is made of it.
namespace reply {

// Every way a transaction can end. The names are stable: scripts and --json output use them.
enum class Outcome : quint8
{
    Ok,
    Timeout,
    Incomplete,
    BadFrame,
    BadCrc,
    BadChecksum,
    WrongUnit,
    WrongFunction,
    WrongCount,
    WrongEcho,
    Exception,
    PortLost,
    PortUnavailable,
};

const char *outcomeName(Outcome outcome);
// Plain English, for messages on stderr.
QString outcomeText(Outcome outcome);

// Modbus exception codes 01 to 04 by name; others by number.
QString exceptionText(quint8 code);

struct Verdict
{
    Outcome outcome = Outcome::Ok;
    quint8 exceptionCode = 0; // set with Outcome::Exception
};

bool isNativeFrame(const QByteArray &frame);

// Total length of the reply whose first bytes are `received`: 0 while too few bytes have come to
// tell, -1 when they cannot tell (a function the request did not use), so only silence ends it.
int expectedReplyLength(const QByteArray &request, const QByteArray &received);

Verdict verify(const QByteArray &request, const QByteArray &reply);

} // namespace reply
