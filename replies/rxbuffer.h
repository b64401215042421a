#pragma once

#include <QByteArray>
#include <array>

// One tick's bytes: the first 60 kept, the rest read as 0; length is what was read, uncut.
struct RxBuffer
{
    static constexpr int capacity = 60;

    std::array<quint8, capacity> bytes{};
    int length = 0;

    static RxBuffer fromRead(const QByteArray &read)
    {
        RxBuffer buffer;
        buffer.length = read.size();
        const int kept = read.size() < capacity ? read.size() : capacity;
        for (int i = 0; i < kept; ++i)
            buffer.bytes[std::size_t(i)] = quint8(read[i]);
        return buffer;
    }

    quint8 operator[](int n) const
    {
        return n >= 0 && n < capacity ? bytes[std::size_t(n)] : quint8(0);
    }
};
