#include "requestframer.h"

#include "commands/nativeframe.h"
#include "serial/codec.h"

namespace {

constexpr int crcSize = 2;
constexpr int minimumModbusSize = 4; // address, function, CRC
constexpr int maxModbusSize = 256;   // an RTU frame at its longest
constexpr quint8 lastFunction = 0x7F;

enum class Candidate
{
    NotThis,
    NeedMore,
    Complete
};

quint8 byteAt(const QByteArray &bytes, int offset)
{
    return quint8(bytes.at(offset));
}

Candidate nativeCandidate(const QByteArray &buffer, int from)
{
    if (byteAt(buffer, from) != native::header)
        return Candidate::NotThis;
    if (buffer.size() - from < native::frameSize)
        return Candidate::NeedMore;
    const QByteArray frame = buffer.mid(from, native::frameSize);
    const bool valid = byteAt(frame, native::frameSize - 1) == native::tail &&
                       byteAt(frame, native::checksumOffset) == nativeChecksum(frame);
    return valid ? Candidate::Complete : Candidate::NotThis;
}

// The length of a standard request PDU's frame: fixed, or a byte count at an offset plus a base.
struct RequestLength
{
    quint8 function;
    int size;            // the whole frame, or its size without the counted bytes
    int byteCountOffset; // -1: fixed size
};
constexpr RequestLength requestLengths[] = {
    {0x01, 8, -1}, {0x02, 8, -1}, {0x03, 8, -1},  {0x04, 8, -1},  {0x05, 8, -1}, {0x06, 8, -1},
    {0x07, 4, -1}, {0x0B, 4, -1}, {0x0C, 4, -1},  {0x0F, 9, 6},   {0x10, 9, 6},  {0x11, 4, -1},
    {0x14, 5, 2},  {0x15, 5, 2},  {0x16, 10, -1}, {0x17, 13, 10}, {0x18, 6, -1},
};

bool hasOwnLength(quint8 function)
{
    for (const RequestLength &row : requestLengths)
        if (row.function == function)
            return true;
    return false;
}

bool crcValid(const QByteArray &frame)
{
    return frame.size() >= minimumModbusSize && modbus::withCrc(frame.chopped(crcSize)) == frame;
}

// A Modbus request of a function with a known length at from.
Candidate knownModbusCandidate(const QByteArray &buffer, int from, int &length, bool &known)
{
    known = false;
    const int available = buffer.size() - from;
    if (available < 2)
        return Candidate::NeedMore;
    const quint8 function = byteAt(buffer, from + 1);
    for (const RequestLength &row : requestLengths) {
        if (row.function != function)
            continue;
        known = true;
        length = row.size;
        if (row.byteCountOffset >= 0) {
            if (available <= row.byteCountOffset)
                return Candidate::NeedMore;
            length += byteAt(buffer, from + row.byteCountOffset);
        }
        if (available < length)
            return Candidate::NeedMore;
        return crcValid(buffer.mid(from, length)) ? Candidate::Complete : Candidate::NotThis;
    }
    return Candidate::NotThis;
}

// A complete request of known length starts somewhere after the first byte.
bool completeRequestLater(const QByteArray &buffer)
{
    for (int from = 1; from < buffer.size(); ++from) {
        int length = 0;
        bool known = false;
        if (nativeCandidate(buffer, from) == Candidate::Complete ||
            knownModbusCandidate(buffer, from, length, known) == Candidate::Complete)
            return true;
    }
    return false;
}

Candidate modbusCandidate(const QByteArray &buffer, int &length)
{
    bool known = false;
    const Candidate candidate = knownModbusCandidate(buffer, 0, length, known);
    if (known || buffer.size() < 2)
        return candidate;
    const quint8 function = byteAt(buffer, 1);
    if (function == 0 || function > lastFunction)
        return Candidate::NotThis;
    // A function without a length of its own: everything so far, once its CRC holds; garbage
    // when a request of known length follows it; otherwise wait for more or for the silence.
    if (buffer.size() <= maxModbusSize && crcValid(buffer)) {
        length = buffer.size();
        return Candidate::Complete;
    }
    return buffer.size() >= maxModbusSize || completeRequestLater(buffer) ? Candidate::NotThis
                                                                          : Candidate::NeedMore;
}

} // namespace

void RequestFramer::dropFirst()
{
    dropped_.append(buffer_.at(0));
    buffer_.remove(0, 1);
}

std::optional<Request> RequestFramer::next()
{
    while (!buffer_.isEmpty()) {
        const Candidate asNative = nativeCandidate(buffer_, 0);
        if (asNative == Candidate::Complete) {
            Request request{FrameKind::Native, buffer_.left(native::frameSize)};
            buffer_.remove(0, native::frameSize);
            return request;
        }
        int length = 0;
        const Candidate asModbus = modbusCandidate(buffer_, length);
        if (asModbus == Candidate::Complete) {
            Request request{FrameKind::Modbus, buffer_.left(length)};
            buffer_.remove(0, length);
            return request;
        }
        if (asNative == Candidate::NeedMore || asModbus == Candidate::NeedMore)
            return std::nullopt;
        dropFirst();
    }
    return std::nullopt;
}

std::vector<Request> RequestFramer::flush()
{
    std::vector<Request> found;
    while (!buffer_.isEmpty()) {
        if (std::optional<Request> request = next()) {
            found.push_back(*request);
        } else if (!buffer_.isEmpty()) {
            // What will not grow is a request when its CRC holds, whatever its function.
            const quint8 function = buffer_.size() > 1 ? quint8(buffer_.at(1)) : 0;
            if (function != 0 && function <= lastFunction && !hasOwnLength(function) &&
                buffer_.size() <= maxModbusSize && crcValid(buffer_)) {
                found.push_back({FrameKind::Modbus, buffer_});
                buffer_.clear();
            } else {
                dropFirst();
            }
        }
    }
    return found;
}

QByteArray RequestFramer::takeDropped()
{
    QByteArray dropped;
    dropped.swap(dropped_);
    return dropped;
}
