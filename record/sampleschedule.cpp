#include "record/sampleschedule.h"

namespace {
// Timer wake-up jitter the schedule forgives before it calls a sample late.
constexpr qint64 maxLateToleranceMs = 100;
} // namespace

SampleSchedule::SampleSchedule(qint64 startMs, qint64 intervalMs, int warmupSamples)
    : startMs_(startMs), intervalMs_(qMax<qint64>(0, intervalMs)),
      warmupSamples_(qMax(0, warmupSamples))
{
}

qint64 SampleSchedule::waitMs(qint64 index, qint64 nowMs) const
{
    return qMax<qint64>(0, dueMs(index) - nowMs);
}

bool SampleSchedule::isLate(qint64 index, qint64 startedMs) const
{
    if (intervalMs_ == 0)
        return false;
    const qint64 tolerance = qMin(maxLateToleranceMs, intervalMs_ / 2);
    return startedMs - dueMs(index) > tolerance;
}
