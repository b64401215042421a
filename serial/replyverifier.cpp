#include "replyverifier.h"

#include "commands/nativeframe.h"
#include "serial/codec.h"

#include <QCoreApplication>
#include <iterator>

namespace reply {

namespace {

struct OutcomeRow
{
    Outcome outcome;
    const char *name;
    const char *text;
};

constexpr OutcomeRow outcomeRows[] = {
    {Outcome::Ok, "ok", QT_TRANSLATE_NOOP("reply", "ok")},
    {Outcome::Timeout, "timeout", QT_TRANSLATE_NOOP("reply", "no answer before the timeout")},
    {Outcome::Incomplete, "incomplete",
     QT_TRANSLATE_NOOP("reply", "the reply stopped short of its length")},
    {Outcome::BadFrame, "bad-frame", QT_TRANSLATE_NOOP("reply", "the reply is not a valid frame")},
    {Outcome::BadCrc, "bad-crc", QT_TRANSLATE_NOOP("reply", "the reply's CRC does not match")},
    {Outcome::BadChecksum, "bad-checksum",
     QT_TRANSLATE_NOOP("reply", "the native reply's checksum does not match")},
    {Outcome::WrongUnit, "wrong-unit",
     QT_TRANSLATE_NOOP("reply", "the reply is not from the addressed unit")},
    {Outcome::WrongFunction, "wrong-function",
     QT_TRANSLATE_NOOP("reply", "the reply carries another function than the request")},
    {Outcome::WrongCount, "wrong-count",
     QT_TRANSLATE_NOOP("reply", "the reply's byte or register count does not match the request")},
    {Outcome::WrongEcho, "wrong-echo",
     QT_TRANSLATE_NOOP("reply", "the reply does not echo the written register and value")},
    {Outcome::Exception, "exception",
     QT_TRANSLATE_NOOP("reply", "the device answered with an exception")},
    {Outcome::PortLost, "port-lost", QT_TRANSLATE_NOOP("reply", "the serial port was lost")},
    {Outcome::PortUnavailable, "port-unavailable",
     QT_TRANSLATE_NOOP("reply", "the serial port is not open")},
};

const OutcomeRow &row(Outcome outcome)
{
    for (const OutcomeRow &r : outcomeRows)
        if (r.outcome == outcome)
            return r;
    return outcomeRows[0];
}

constexpr const char *exceptionNames[] = {
    QT_TRANSLATE_NOOP("reply", "illegal function"),
    QT_TRANSLATE_NOOP("reply", "illegal data address"),
    QT_TRANSLATE_NOOP("reply", "illegal data value"),
    QT_TRANSLATE_NOOP("reply", "server device failure"),
};

constexpr int exceptionLength = 5;
constexpr int writeReplyLength = 8;
constexpr int readHeaderLength = 3; // unit, function, byte count
constexpr quint8 exceptionFlag = 0x80;
constexpr quint8 highestUnit = 247;

quint8 at(const QByteArray &bytes, int i)
{
    return quint8(bytes.at(i));
}

quint16 wordAt(const QByteArray &bytes, int i)
{
    return quint16((at(bytes, i) << 8) | at(bytes, i + 1));
}

Verdict verifyNative(const QByteArray &request, const QByteArray &reply)
{
    if (reply.size() != native::frameSize || at(reply, 0) != native::header ||
        at(reply, native::frameSize - 1) != native::tail)
        return {Outcome::BadFrame};
    if (nativeChecksum(reply) != at(reply, native::checksumOffset))
        return {Outcome::BadChecksum};
    if (at(reply, 1) != at(request, 1))
        return {Outcome::WrongFunction};
    return {};
}

} // namespace

const char *outcomeName(Outcome outcome)
{
    return row(outcome).name;
}

QString outcomeText(Outcome outcome)
{
    return QCoreApplication::translate("reply", row(outcome).text);
}

QString exceptionText(quint8 code)
{
    if (code >= 1 && code <= int(std::size(exceptionNames)))
        return QCoreApplication::translate("reply", "exception %1 (%2)")
            .arg(code, 2, 10, QLatin1Char('0'))
            .arg(QCoreApplication::translate("reply", exceptionNames[code - 1]));
    return QCoreApplication::translate("reply", "exception %1").arg(code, 2, 10, QLatin1Char('0'));
}

bool isNativeFrame(const QByteArray &frame)
{
    return frame.size() == native::frameSize && at(frame, 0) == native::header;
}

int expectedReplyLength(const QByteArray &request, const QByteArray &received)
{
    if (isNativeFrame(request))
        return native::frameSize;
    if (received.size() < 2 || request.size() < 2)
        return 0;
    const quint8 function = at(received, 1);
    if (function == (at(request, 1) | exceptionFlag))
        return exceptionLength;
    if (function != at(request, 1))
        return -1;
    switch (modbus::Function(function)) {
    case modbus::Function::ReadHoldingRegisters:
        return received.size() < readHeaderLength ? 0 : readHeaderLength + at(received, 2) + 2;
    case modbus::Function::WriteSingleRegister:
    case modbus::Function::WriteMultipleRegisters:
        return writeReplyLength;
    }
    return -1;
}

Verdict verify(const QByteArray &request, const QByteArray &reply)
{
    if (isNativeFrame(request))
        return verifyNative(request, reply);
    if (request.size() < writeReplyLength || reply.size() < exceptionLength)
        return {Outcome::BadFrame};
    const int body = reply.size() - 2;
    const quint16 crc = quint16(at(reply, body) | (at(reply, body + 1) << 8));
    if (crc16Modbus(reply.left(body)) != crc)
        return {Outcome::BadCrc};

    const quint8 unit = at(request, 0);
    const quint8 replyUnit = at(reply, 0);
    const quint8 function = at(request, 1);
    // A function-6 answer is the request's exact echo, so one sent to unit 0 comes back from 0.
    const bool echoesUnitZero = function == quint8(modbus::Function::WriteSingleRegister);
    if (unit == 0 ? (replyUnit > highestUnit || (replyUnit == 0 && !echoesUnitZero))
                  : replyUnit != unit)
        return {Outcome::WrongUnit};

    if (at(reply, 1) == (function | exceptionFlag)) {
        if (reply.size() != exceptionLength)
            return {Outcome::BadFrame};
        return {Outcome::Exception, at(reply, 2)};
    }
    if (at(reply, 1) != function)
        return {Outcome::WrongFunction};

    switch (modbus::Function(function)) {
    case modbus::Function::ReadHoldingRegisters:
        if (reply.size() != readHeaderLength + at(reply, 2) + 2)
            return {Outcome::BadFrame};
        if (at(reply, 2) != 2 * wordAt(request, 4))
            return {Outcome::WrongCount};
        return {};
    case modbus::Function::WriteSingleRegister:
        if (reply.size() != writeReplyLength)
            return {Outcome::BadFrame};
        if (reply.mid(2, 4) != request.mid(2, 4))
            return {Outcome::WrongEcho};
        return {};
    case modbus::Function::WriteMultipleRegisters:
        if (reply.size() != writeReplyLength)
            return {Outcome::BadFrame};
        if (wordAt(reply, 2) != wordAt(request, 2))
            return {Outcome::WrongEcho};
        if (wordAt(reply, 4) != wordAt(request, 4))
            return {Outcome::WrongCount};
        return {};
    }
    return {Outcome::BadFrame};
}

} // namespace reply
