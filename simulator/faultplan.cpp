#include "faultplan.h"

#include <QStringList>

namespace {

bool hits(int every, int replyNumber)
{
    return every > 0 && replyNumber % every == 0;
}

} // namespace

ShapedReply shapeReply(const FaultPlan &plan, int replyNumber, const QByteArray &reply)
{
    ShapedReply shaped;
    QStringList applied;
    if (hits(plan.dropEvery, replyNumber)) {
        shaped.dropped = true;
        shaped.faults = QStringLiteral("dropped");
        return shaped;
    }
    QByteArray bytes = reply;
    if (hits(plan.corruptEvery, replyNumber) && !bytes.isEmpty()) {
        bytes[bytes.size() / 2] = char(~bytes.at(bytes.size() / 2));
        applied.append(QStringLiteral("corrupted"));
    }
    if (hits(plan.noiseEvery, replyNumber)) {
        bytes.append(plan.noise);
        applied.append(QStringLiteral("noise added"));
    }
    if (hits(plan.delayEvery, replyNumber)) {
        shaped.extraDelayMs = plan.delayMs;
        applied.append(QStringLiteral("delayed %1 ms").arg(plan.delayMs));
    }
    if (hits(plan.splitEvery, replyNumber) && bytes.size() > 1) {
        shaped.firstPart = bytes.left(bytes.size() / 2);
        shaped.secondPart = bytes.mid(bytes.size() / 2);
        shaped.pauseMs = plan.splitPauseMs;
        applied.append(QStringLiteral("split"));
    } else {
        shaped.firstPart = bytes;
    }
    shaped.faults = applied.join(QStringLiteral(", "));
    return shaped;
}
