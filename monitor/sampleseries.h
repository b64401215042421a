#pragma once

#include "record/samplerow.h"

#include <QStringList>
#include <QVector>

// Every value the monitor has sampled, one column per plotted series, sharing one time column
// (seconds since the epoch). A value a sample did not give is NaN, so a plot breaks its line there.
class SampleSeries
{
public:
    enum class Value : quint8
    {
        Pm25,
        Pm10,
        Pm100
    };
    static constexpr int valuesPerObject = 3;
    static constexpr int objectCount = 5;
    static constexpr int temperature = objectCount * valuesPerObject;
    static constexpr int humidity = temperature + 1;
    static constexpr int seriesCount = humidity + 1;

    // "avg", "1" to "4", in the order of the series.
    static const QStringList &objectNames();
    // -1 for a name that is not an object.
    static int objectIndex(const QString &object);
    static int seriesOf(int objectIndex, Value value)
    {
        return objectIndex * valuesPerObject + int(value);
    }

    SampleSeries();

    // The rows of one sample (one per object, one time); objects not in it get NaN.
    void append(const QVector<SampleRow> &rows);
    // A point with no values, so that nothing is drawn across a pause in sampling.
    void appendGap(double time);
    void clear();

    const QVector<double> &times() const { return times_; }
    const QVector<float> &values(int series) const { return values_[series]; }
    int size() const { return int(times_.size()); }
    bool isEmpty() const { return times_.isEmpty(); }

private:
    QVector<double> times_;
    QVector<QVector<float>> values_;
};
