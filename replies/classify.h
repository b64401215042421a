#pragma once

#include "replies/rxbuffer.h"

enum class ReplyKind {
    NativeFrames,  // one or two native frames at offsets 0 and 19
    WriteEcho,     // an 8-byte function-6 echo
    FunctionThree, // served to every raised query
    Unmatched,
};

struct Classification
{
    ReplyKind kind = ReplyKind::Unmatched;
    int nativeFrameCount = 0;
};

// Reads of 1 to 3 bytes are classified but not logged.
constexpr bool isLogged(int receivedLength)
{
    return receivedLength > 3;
}

Classification classify(const RxBuffer &buffer);
