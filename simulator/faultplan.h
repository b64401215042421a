#pragma once

#include <QByteArray>
#include <QString>

// Faults to inject into the replies, each on every Nth reply (0: never). Replies are counted
// from 1; several faults may hit the same reply.
struct FaultPlan
{
    int dropEvery = 0;
    int corruptEvery = 0; // flips every bit of the reply's middle byte
    int splitEvery = 0;   // two writes with a pause between them
    int splitPauseMs = 350;
    int noiseEvery = 0; // unsolicited bytes right after the reply
    QByteArray noise = QByteArray(1, char(0xFF));
    int delayEvery = 0; // answer later than usual, past the tool's 300 ms poll
    int delayMs = 400;
};

// How one reply goes out on the line.
struct ShapedReply
{
    bool dropped = false;
    QByteArray firstPart;
    QByteArray secondPart; // empty unless split
    int extraDelayMs = 0;
    int pauseMs = 0; // between the parts
    QString faults;  // the faults applied, for the verbose log
};

ShapedReply shapeReply(const FaultPlan &plan, int replyNumber, const QByteArray &reply);
