#pragma once

#include <QVector>

// A series reduced to what one pixel column can show: its minimum and maximum, in time order.
// A gap (a NaN value) is never bridged: the points on either side go to separate runs, with a
// NaN point between them so that a line breaks there.
struct DecimatedSeries
{
    QVector<double> times;
    QVector<double> values;
};

// Which samples fall in which pixel column of [from, to]. Series sampled at the same times share
// one, so the times are searched once per redraw, not once per series.
struct ColumnGrid
{
    // Sample indices [starts[c], starts[c + 1]) fall in column c. The first and the last column
    // hold the nearest sample outside each end, if any, so that a line reaches the edges.
    QVector<int> starts;
};

// The column a time falls in when [from, to] is split into `columns`: -1 before, `columns` after.
qint64 columnOf(double time, double from, double to, int columns);

// times ascending.
ColumnGrid columnGrid(const QVector<double> &times, double from, double to, int columns);

// values[i] belongs to times[i]; NaN is a missing sample.
DecimatedSeries decimate(const ColumnGrid &grid, const QVector<double> &times,
                         const QVector<float> &values);

DecimatedSeries decimateToColumns(const QVector<double> &times, const QVector<float> &values,
                                  double from, double to, int columns);
