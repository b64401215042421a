#pragma once

#include "monitor/sampleseries.h"

#include <QWidget>
#include <array>

class QCustomPlot;
class QCPAxis;
class QCPAxisRect;
class QCPGraph;
class QCPLegend;
class QCPAbstractLegendItem;
class QCPItemStraightLine;
class QCPRange;

// The chart: particulate matter of the chosen objects above, temperature and humidity below,
// on one time axis. Only what one pixel column can show is handed to the plot.
class LivePlot : public QWidget
{
    Q_OBJECT

public:
    // Seconds shown back from the newest sample; 0 shows everything.
    static constexpr double lastFiveMinutes = 5 * 60;
    static constexpr double lastHour = 60 * 60;
    static constexpr double lastDay = 24 * 60 * 60;
    static constexpr double everything = 0;

    explicit LivePlot(QWidget *parent = nullptr);

    void setObjects(const QStringList &objects);
    void setTimeWindow(double seconds);
    double timeWindow() const { return window_; }
    void setFollowing(bool following);
    bool isFollowing() const { return following_; }
    // Levels above which a reading is an alert; 0 draws none.
    void setAlertLevel(SampleSeries::Value value, double level);

    void append(const QVector<SampleRow> &rows);
    void appendGap(double time);
    void clear();
    const SampleSeries &series() const { return series_; }

    // Whether a series is drawn: chosen in the connection bar and not switched off in a legend.
    bool isSeriesShown(int series) const;
    void setSeriesEnabled(int series, bool enabled);
    // The time range on screen.
    QCPRange visibleRange() const;
    // The points a series hands the plot now, decimated.
    int drawnPointCount(int series) const;

    bool savePng(const QString &path);
    bool saveSvg(const QString &path);

signals:
    void followingChanged(bool following);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void legendClicked(QCPLegend *legend, QCPAbstractLegendItem *item);
    void rangeChangedByUser();
    void followNewest();
    void refill();
    void updateGraphVisibility();
    void rebuildLegend();
    QCPAxis *valueAxis(SampleSeries::Value value) const;

    QCustomPlot *plot_;
    QCPAxisRect *environmentRect_;
    std::array<QCPGraph *, SampleSeries::seriesCount> graphs_{};
    std::array<bool, SampleSeries::seriesCount> enabled_{};
    std::array<bool, SampleSeries::objectCount> objectChosen_{};
    std::array<QCPItemStraightLine *, SampleSeries::valuesPerObject> alertLines_{};
    bool settingRange_ = false;
    bool syncingAxes_ = false;
    SampleSeries series_;
    double window_ = lastHour;
    bool following_ = true;
};
