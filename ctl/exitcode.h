#pragma once

#include "serial/replyverifier.h"

// The program's exit codes; scripts depend on them, so a code never changes its meaning.
enum class ExitCode : quint8
{
    Success = 0,
    Mismatch = 1,
    Usage = 2,
    NoAnswer = 3,
    BadReply = 4,
    DeviceException = 5,
    PortError = 6,
    OutputError = 7,
    BrokerRefused = 8,
};

struct ExitCodeRow
{
    ExitCode code;
    const char *name;
    const char *meaning;
};

constexpr ExitCodeRow exitCodes[] = {
    {ExitCode::Success, "success", "the command did what it was asked"},
    {ExitCode::Mismatch, "mismatch", "a check or verification failed (a read-back differs)"},
    {ExitCode::Usage, "usage", "bad command line, key or value; nothing was sent"},
    {ExitCode::NoAnswer, "no-answer", "the sensor did not answer before the timeout"},
    {ExitCode::BadReply, "bad-reply",
     "the reply was damaged or wrong: CRC, unit, function, count, cut short, collision"},
    {ExitCode::DeviceException, "device-exception", "the sensor answered with an exception"},
    {ExitCode::PortError, "port-error", "the port could not be opened or was lost"},
    {ExitCode::OutputError, "output-error", "the output could not be written"},
    {ExitCode::BrokerRefused, "broker-refused",
     "the MQTT broker refused the login or its certificate, or its host is unknown"},
};

constexpr int toInt(ExitCode code)
{
    return int(code);
}

constexpr ExitCode exitCodeFor(reply::Outcome outcome)
{
    switch (outcome) {
    case reply::Outcome::Ok:
        return ExitCode::Success;
    case reply::Outcome::Timeout:
        return ExitCode::NoAnswer;
    case reply::Outcome::Exception:
        return ExitCode::DeviceException;
    case reply::Outcome::PortLost:
    case reply::Outcome::PortUnavailable:
        return ExitCode::PortError;
    default:
        return ExitCode::BadReply;
    }
}
