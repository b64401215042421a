#include "columndecimation.h"

#include <algorithm>
#include <cmath>
#include <limits>

qint64 columnOf(double time, double from, double to, int columns)
{
    if (time < from)
        return -1;
    if (time > to)
        return columns;
    return std::min(qint64(std::floor((time - from) / (to - from) * columns)), qint64(columns - 1));
}

ColumnGrid columnGrid(const QVector<double> &times, double from, double to, int columns)
{
    ColumnGrid grid;
    if (times.isEmpty() || columns <= 0 || !(to > from))
        return grid;
    const auto first = std::lower_bound(times.begin(), times.end(), from);
    const auto last = std::upper_bound(times.begin(), times.end(), to);
    const int begin = std::max(int(first - times.begin()) - 1, 0);
    const int end = std::min(int(last - times.begin()) + 1, int(times.size()));

    // A column per pixel, plus one each side for the samples just outside.
    grid.starts.reserve(columns + 3);
    grid.starts.append(begin);
    qint64 column = -1;
    for (int i = begin; i < end; ++i) {
        const qint64 c = columnOf(times[i], from, to, columns);
        if (c != column && i != begin)
            grid.starts.append(i);
        column = c;
    }
    grid.starts.append(end);
    return grid;
}

namespace {

class Writer
{
public:
    Writer(const QVector<double> &times, const QVector<float> &values, DecimatedSeries &out)
        : times_(times), values_(values), out_(out)
    {
    }

    void run(int minIndex, int maxIndex)
    {
        if (minIndex < 0)
            return;
        const int first = std::min(minIndex, maxIndex);
        const int last = std::max(minIndex, maxIndex);
        append(times_[first], values_[first]);
        if (last != first)
            append(times_[last], values_[last]);
    }

    void breakLine(int index)
    {
        if (!out_.values.isEmpty() && !std::isnan(out_.values.constLast()))
            append(times_[index], std::numeric_limits<double>::quiet_NaN());
    }

private:
    void append(double time, double value)
    {
        out_.times.append(time);
        out_.values.append(value);
    }

    const QVector<double> &times_;
    const QVector<float> &values_;
    DecimatedSeries &out_;
};

} // namespace

DecimatedSeries decimate(const ColumnGrid &grid, const QVector<double> &times,
                         const QVector<float> &values)
{
    DecimatedSeries out;
    if (grid.starts.size() < 2 || values.size() < grid.starts.constLast())
        return out;
    out.times.reserve(2 * grid.starts.size() + 16);
    out.values.reserve(out.times.capacity());
    Writer writer(times, values, out);
    const float *v = values.constData();
    for (int c = 0; c + 1 < grid.starts.size(); ++c) {
        int minIndex = -1;
        int maxIndex = -1;
        float low = std::numeric_limits<float>::infinity();
        float high = -std::numeric_limits<float>::infinity();
        for (int i = grid.starts[c]; i < grid.starts[c + 1]; ++i) {
            const float value = v[i];
            if (std::isnan(value)) {
                writer.run(minIndex, maxIndex);
                writer.breakLine(i);
                minIndex = maxIndex = -1;
                low = std::numeric_limits<float>::infinity();
                high = -std::numeric_limits<float>::infinity();
                continue;
            }
            if (value < low) {
                low = value;
                minIndex = i;
            }
            if (value > high) {
                high = value;
                maxIndex = i;
            }
        }
        writer.run(minIndex, maxIndex);
    }
    return out;
}

DecimatedSeries decimateToColumns(const QVector<double> &times, const QVector<float> &values,
                                  double from, double to, int columns)
{
    return decimate(columnGrid(times, from, to, columns), times, values);
}
