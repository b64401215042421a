#include "sampleseries.h"

#include <limits>

namespace {

constexpr float missing = std::numeric_limits<float>::quiet_NaN();

float valueOrMissing(const std::optional<double> &value)
{
    return value ? float(*value) : missing;
}

} // namespace

const QStringList &SampleSeries::objectNames()
{
    static const QStringList names = {QStringLiteral("avg"), QStringLiteral("1"),
                                      QStringLiteral("2"), QStringLiteral("3"),
                                      QStringLiteral("4")};
    return names;
}

int SampleSeries::objectIndex(const QString &object)
{
    return int(objectNames().indexOf(object));
}

SampleSeries::SampleSeries() : values_(seriesCount) {}

void SampleSeries::append(const QVector<SampleRow> &rows)
{
    if (rows.isEmpty())
        return;
    const double time = double(rows.constFirst().time.toMSecsSinceEpoch()) / 1000;
    // A clock set back must not break the ascending time column that the plot searches.
    if (!times_.isEmpty() && time <= times_.constLast())
        return;
    times_.append(time);
    for (QVector<float> &column : values_)
        column.append(missing);
    const int last = int(times_.size()) - 1;
    for (const SampleRow &row : rows) {
        const int object = objectIndex(row.object);
        if (object < 0)
            continue;
        values_[seriesOf(object, Value::Pm25)][last] = valueOrMissing(row.pm25);
        values_[seriesOf(object, Value::Pm10)][last] = valueOrMissing(row.pm10);
        values_[seriesOf(object, Value::Pm100)][last] = valueOrMissing(row.pm100);
        if (row.temperature)
            values_[temperature][last] = float(*row.temperature);
        if (row.humidity)
            values_[humidity][last] = float(*row.humidity);
    }
}

void SampleSeries::appendGap(double time)
{
    if (!times_.isEmpty() && time <= times_.constLast())
        return;
    times_.append(time);
    for (QVector<float> &column : values_)
        column.append(missing);
}

void SampleSeries::clear()
{
    times_.clear();
    for (QVector<float> &column : values_)
        column.clear();
}
