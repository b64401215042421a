#pragma once

#include <QByteArray>
#include <optional>
#include <vector>

enum class FrameKind
{
    Modbus,
    Native
};

struct Request
{
    FrameKind kind;
    QByteArray bytes;
};

// Cuts requests out of the received byte stream. A Modbus request's length follows from its
// function (3 and 6: 8 bytes, 16: 9 plus its byte count) and it must carry a valid CRC; a native
// request is 19 bytes from 0xAA to 0xAB with a valid checksum. Bytes that start no valid request
// are dropped one at a time, so a request behind garbage is still found.
class RequestFramer
{
public:
    void append(const QByteArray &bytes) { buffer_.append(bytes); }

    // The next complete request, or nothing while the bytes so far may still become one.
    std::optional<Request> next();

    // The line has gone quiet: what is pending will not grow. Returns the requests still found
    // in it and drops everything else.
    std::vector<Request> flush();

    void clear() { buffer_.clear(); }
    int pendingBytes() const { return buffer_.size(); }
    // Bytes dropped since the last call.
    int takeDroppedCount();

private:
    QByteArray buffer_;
    int dropped_ = 0;
};
