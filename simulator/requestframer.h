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

// Cuts requests out of the received byte stream.
// - A Modbus request (function 1..127) must carry a valid CRC. Its length follows from the
//   standard request PDU of its function: 1 to 6: 8 bytes; 7, 11, 12, 17: 4; 22: 10; 24: 6;
//   15 and 16: 9 plus the byte count at offset 6; 20 and 21: 5 plus the byte count at offset 2;
//   23: 13 plus the byte count at offset 10. Any other function (8, 43, unassigned ones) has no
//   length of its own: its request is all that arrived (256 bytes at most), once that carries a
//   valid CRC, and at the latest when the line goes quiet; bytes before a complete request of
//   known length are garbage.
// - A native request is 19 bytes from 0xAA to 0xAB with a valid checksum.
// Bytes that start no valid request are dropped one at a time, so a request behind garbage is
// still found.
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
    // The bytes dropped since the last call, in order.
    QByteArray takeDropped();

private:
    void dropFirst();

    QByteArray buffer_;
    QByteArray dropped_;
};
