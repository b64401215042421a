#pragma once

#include <QtGlobal>

// When each sample is due: sample k at start + k × interval, whatever happened to the samples
// before it, so the grid never drifts. A sample that starts more than the tolerance after its
// slot is late: it is taken at once and marked, and the next one keeps its own slot. Interval 0
// takes samples back to back and none is late. The first warmupSamples are taken but dropped.
class SampleSchedule
{
public:
    SampleSchedule(qint64 startMs, qint64 intervalMs, int warmupSamples = 0);

    qint64 dueMs(qint64 index) const { return startMs_ + index * intervalMs_; }
    // Time to wait before the sample with this index may start, 0 when it is due.
    qint64 waitMs(qint64 index, qint64 nowMs) const;
    bool isLate(qint64 index, qint64 startedMs) const;
    bool isWarmup(qint64 index) const { return index < warmupSamples_; }
    // Index of the n-th kept sample (n from 0).
    qint64 keptIndex(qint64 n) const { return n + warmupSamples_; }
    qint64 intervalMs() const { return intervalMs_; }

private:
    qint64 startMs_;
    qint64 intervalMs_;
    int warmupSamples_;
};
