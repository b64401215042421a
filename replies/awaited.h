#pragma once

#include "replies/replywaitflags.h"
#include "replies/rxbuffer.h"

#include <array>
#include <vector>

// Which raised field a reply may serve, and when a raised field has waited long enough.
namespace awaited {

// A function-3 reply that is whole and intact and answers a query of registerCount registers:
// at least 3 + B[2] + 2 bytes read, B[2] = 2 * registerCount, CRC over the first 3 + B[2] bytes.
bool fitsQuery(const RxBuffer &b, int registerCount);

// A native frame at position whose checksum (byte 17) is the sum of its bytes 2 to 16.
bool nativeChecksumMatches(const RxBuffer &b, int position);

// One row per raised field of ReplyWaitFlags, in the order of the flags.
struct Query
{
    quint8 ReplyWaitFlags::*field;
    int registerCount; // registers its query reads, from the register table
    const char *name;  // source text of the query's name (context "MainWindow")
};
constexpr int queryCount = 13;
extern const Query queries[queryCount];
int rowOf(quint8 ReplyWaitFlags::*field); // -1 when the field has no row

// Ticks (300 ms each) a raised field waits for a fitting reply: 900 to 1200 ms after the query
// left, enough for the longest reply (43 bytes, 179 ms at 2400 baud) and the sensor's work.
constexpr int noAnswerTicks = 4;

// Raised fields in the order their queries left, and how many ticks each has waited.
class Clock
{
public:
    // A query of this row has just been sent: it is the newest, and has waited no tick.
    void raised(int row);
    // Lowers and returns the row of the oldest raised field the reply fits; -1 serves none.
    int serve(const RxBuffer &b, ReplyWaitFlags &flags);
    // End of a tick: every raised field has waited one more; those that reach noAnswerTicks are
    // lowered and returned, in row order.
    std::vector<int> tick(ReplyWaitFlags &flags);
    // The port closed: no raised field can be answered any more. Lowers and returns them all.
    std::vector<int> lowerAll(ReplyWaitFlags &flags);

private:
    std::array<quint32, queryCount> order{}; // 0: raised from outside, oldest
    std::array<int, queryCount> waited{};
    quint32 lastOrder = 0;
};

} // namespace awaited
