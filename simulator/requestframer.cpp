#include "requestframer.h"

#include "commands/nativeframe.h"
#include "serial/codec.h"

namespace {

constexpr int readOrWriteSingleSize = 8;
constexpr int writeMultipleHeaderSize = 7; // address, function, start, count, byte count
constexpr int crcSize = 2;

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

Candidate nativeCandidate(const QByteArray &buffer)
{
    if (byteAt(buffer, 0) != native::header)
        return Candidate::NotThis;
    if (buffer.size() < native::frameSize)
        return Candidate::NeedMore;
    const bool valid = byteAt(buffer, native::frameSize - 1) == native::tail &&
                       byteAt(buffer, native::checksumOffset) == nativeChecksum(buffer);
    return valid ? Candidate::Complete : Candidate::NotThis;
}

Candidate modbusCandidate(const QByteArray &buffer, int &length)
{
    if (buffer.size() < 2)
        return Candidate::NeedMore;
    switch (modbus::Function(byteAt(buffer, 1))) {
    case modbus::Function::ReadHoldingRegisters:
    case modbus::Function::WriteSingleRegister:
        length = readOrWriteSingleSize;
        break;
    case modbus::Function::WriteMultipleRegisters:
        if (buffer.size() < writeMultipleHeaderSize)
            return Candidate::NeedMore;
        length = writeMultipleHeaderSize + byteAt(buffer, writeMultipleHeaderSize - 1) + crcSize;
        break;
    default:
        return Candidate::NotThis;
    }
    if (buffer.size() < length)
        return Candidate::NeedMore;
    const QByteArray body = buffer.left(length - crcSize);
    return modbus::withCrc(body) == buffer.left(length) ? Candidate::Complete : Candidate::NotThis;
}

} // namespace

std::optional<Request> RequestFramer::next()
{
    while (!buffer_.isEmpty()) {
        const Candidate asNative = nativeCandidate(buffer_);
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
        buffer_.remove(0, 1);
        ++dropped_;
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
            buffer_.remove(0, 1);
            ++dropped_;
        }
    }
    return found;
}

int RequestFramer::takeDroppedCount()
{
    const int dropped = dropped_;
    dropped_ = 0;
    return dropped;
}
