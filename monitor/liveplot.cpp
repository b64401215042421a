#include "liveplot.h"

#include "monitor/columndecimation.h"

#include <QSvgGenerator>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace {

// One row per value of an object: how its line is drawn and what it is called.
struct ValueStyle
{
    SampleSeries::Value value;
    Qt::PenStyle pen;
    const char *name;
};
constexpr ValueStyle valueStyles[] = {
    {SampleSeries::Value::Pm25, Qt::SolidLine, "PM2.5"},
    {SampleSeries::Value::Pm10, Qt::DashLine, "PM10"},
    {SampleSeries::Value::Pm100, Qt::DashDotLine, "PM100"},
};

const QColor objectColours[SampleSeries::objectCount] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c),
    QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b)};
const QColor temperatureColour(0xd6, 0x27, 0x28);
const QColor humidityColour(0x17, 0xbe, 0xcf);
const QColor alertColour(0xd6, 0x27, 0x28);

QString objectLabel(int object)
{
    return object == 0 ? LivePlot::tr("average") : LivePlot::tr("unit %1").arg(object);
}

// A range that holds [low, high] with some room, or a default one when nothing is drawn.
QCPRange paddedRange(double low, double high, double floor, double fallbackHigh)
{
    if (!(low <= high))
        return QCPRange(floor, fallbackHigh);
    const double room = std::max((high - low) * 0.1, 1.0);
    return QCPRange(std::max(low - room, floor), high + room);
}

} // namespace

LivePlot::LivePlot(QWidget *parent) : QWidget(parent), plot_(new QCustomPlot(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    plot_->setObjectName(QStringLiteral("plot"));
    plot_->setMinimumSize(400, 250);
    // Antialiasing costs several times more to paint and adds nothing at two points per pixel.
    plot_->setNotAntialiasedElements(QCP::aeAll);
    plot_->setPlottingHint(QCP::phFastPolylines, true);

    QCPAxisRect *pmRect = plot_->axisRect();
    environmentRect_ = new QCPAxisRect(plot_);
    plot_->plotLayout()->addElement(1, 0, environmentRect_);
    plot_->plotLayout()->setRowStretchFactor(1, 0.45);
    environmentRect_->axis(QCPAxis::atRight)->setVisible(true);
    environmentRect_->axis(QCPAxis::atRight)->setTickLabels(true);
    // PM100 reads many times PM2.5 and PM10: on its own axis they stay readable.
    pmRect->axis(QCPAxis::atLeft)->setLabel(tr("PM2.5, PM10 µg/m³"));
    pmRect->axis(QCPAxis::atRight)->setVisible(true);
    pmRect->axis(QCPAxis::atRight)->setLabel(tr("PM100 µg/m³ (dash-dot)"));
    environmentRect_->axis(QCPAxis::atLeft)->setLabel(tr("°C"));
    environmentRect_->axis(QCPAxis::atRight)->setLabel(tr("%RH"));
    environmentRect_->axis(QCPAxis::atRight)->setRange(0, 100);
    // Both panels share their left and right margins, so their time axes line up.
    auto *margins = new QCPMarginGroup(plot_);
    for (QCPAxisRect *rect : {pmRect, environmentRect_})
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);

    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss\nyyyy-MM-dd"));
    for (QCPAxisRect *rect : {pmRect, environmentRect_}) {
        rect->axis(QCPAxis::atBottom)->setTicker(ticker);
        rect->setRangeDrag(Qt::Horizontal);
        rect->setRangeZoom(Qt::Horizontal);
        rect->setRangeDragAxes(rect->axis(QCPAxis::atBottom), nullptr);
        rect->setRangeZoomAxes(rect->axis(QCPAxis::atBottom), nullptr);
        connect(rect->axis(QCPAxis::atBottom),
                QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this,
                [this, rect](const QCPRange &range) {
                    if (syncingAxes_)
                        return;
                    QCPAxisRect *other =
                        rect == plot_->axisRect() ? environmentRect_ : plot_->axisRect();
                    syncingAxes_ = true;
                    other->axis(QCPAxis::atBottom)->setRange(range);
                    syncingAxes_ = false;
                    if (!settingRange_)
                        rangeChangedByUser();
                });
    }
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);

    // The legend beside the charts, so that it never covers a line.
    plot_->legend->setVisible(true);
    pmRect->insetLayout()->take(plot_->legend);
    plot_->plotLayout()->addElement(0, 1, plot_->legend);
    plot_->plotLayout()->setColumnStretchFactor(1, 0.001);
    plot_->legend->setSelectableParts(QCPLegend::spNone);
    connect(plot_, &QCustomPlot::legendClick, this,
            [this](QCPLegend *legend, QCPAbstractLegendItem *item, QMouseEvent *) {
                legendClicked(legend, item);
            });

    for (int object = 0; object < SampleSeries::objectCount; ++object) {
        for (const ValueStyle &style : valueStyles) {
            const int s = SampleSeries::seriesOf(object, style.value);
            graphs_[s] = plot_->addGraph(pmRect->axis(QCPAxis::atBottom), valueAxis(style.value));
            graphs_[s]->setPen(QPen(objectColours[object], 1, style.pen));
            graphs_[s]->setName(
                QStringLiteral("%1 %2").arg(QLatin1String(style.name), objectLabel(object)));
        }
    }
    graphs_[SampleSeries::temperature] = plot_->addGraph(environmentRect_->axis(QCPAxis::atBottom),
                                                         environmentRect_->axis(QCPAxis::atLeft));
    graphs_[SampleSeries::temperature]->setPen(QPen(temperatureColour, 1));
    graphs_[SampleSeries::temperature]->setName(tr("temperature"));
    graphs_[SampleSeries::humidity] = plot_->addGraph(environmentRect_->axis(QCPAxis::atBottom),
                                                      environmentRect_->axis(QCPAxis::atRight));
    graphs_[SampleSeries::humidity]->setPen(QPen(humidityColour, 1));
    graphs_[SampleSeries::humidity]->setName(tr("humidity"));
    for (QCPGraph *graph : graphs_)
        graph->setAdaptiveSampling(false);

    for (std::size_t v = 0; v < alertLines_.size(); ++v) {
        auto *line = new QCPItemStraightLine(plot_);
        line->setClipAxisRect(pmRect);
        line->setPen(QPen(alertColour, 1, valueStyles[v].pen));
        for (QCPItemPosition *point : {line->point1, line->point2})
            point->setAxes(pmRect->axis(QCPAxis::atBottom), valueAxis(SampleSeries::Value(v)));
        line->setVisible(false);
        alertLines_[v] = line;
    }

    enabled_.fill(true);
    setObjects({QStringLiteral("avg")});
}

QCPAxis *LivePlot::valueAxis(SampleSeries::Value value) const
{
    return plot_->axisRect()->axis(value == SampleSeries::Value::Pm100 ? QCPAxis::atRight
                                                                       : QCPAxis::atLeft);
}

void LivePlot::setObjects(const QStringList &objects)
{
    for (int object = 0; object < SampleSeries::objectCount; ++object)
        objectChosen_[std::size_t(object)] =
            objects.contains(SampleSeries::objectNames().at(object));
    rebuildLegend();
    updateGraphVisibility();
    refill();
}

bool LivePlot::isSeriesShown(int series) const
{
    const bool chosen = series >= SampleSeries::temperature ||
                        objectChosen_[std::size_t(series / SampleSeries::valuesPerObject)];
    return chosen && enabled_[std::size_t(series)];
}

void LivePlot::setSeriesEnabled(int series, bool enabled)
{
    enabled_[std::size_t(series)] = enabled;
    updateGraphVisibility();
    refill();
}

void LivePlot::updateGraphVisibility()
{
    for (int s = 0; s < SampleSeries::seriesCount; ++s) {
        QCPGraph *graph = graphs_[std::size_t(s)];
        graph->setVisible(isSeriesShown(s));
        if (QCPAbstractLegendItem *item = plot_->legend->itemWithPlottable(graph))
            item->setTextColor(enabled_[std::size_t(s)] ? Qt::black : Qt::gray);
    }
}

void LivePlot::rebuildLegend()
{
    // In series order; objects not sampled leave it, a line switched off stays in it, greyed.
    plot_->legend->clearItems();
    for (int s = 0; s < SampleSeries::seriesCount; ++s)
        if (s >= SampleSeries::temperature ||
            objectChosen_[std::size_t(s / SampleSeries::valuesPerObject)])
            graphs_[std::size_t(s)]->addToLegend();
}

void LivePlot::legendClicked(QCPLegend *, QCPAbstractLegendItem *item)
{
    auto *plottableItem = qobject_cast<QCPPlottableLegendItem *>(item);
    if (!plottableItem)
        return;
    const auto it = std::find(graphs_.begin(), graphs_.end(), plottableItem->plottable());
    if (it == graphs_.end())
        return;
    const int s = int(it - graphs_.begin());
    setSeriesEnabled(s, !enabled_[std::size_t(s)]);
}

void LivePlot::setTimeWindow(double seconds)
{
    window_ = seconds;
    setFollowing(true);
}

void LivePlot::setFollowing(bool following)
{
    const bool changed = following != following_;
    following_ = following;
    if (following_)
        followNewest();
    if (changed)
        emit followingChanged(following_);
}

void LivePlot::setAlertLevel(SampleSeries::Value value, double level)
{
    QCPItemStraightLine *line = alertLines_[std::size_t(value)];
    line->point1->setCoords(0, level);
    line->point2->setCoords(1, level);
    line->setVisible(level > 0);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void LivePlot::append(const QVector<SampleRow> &rows)
{
    series_.append(rows);
    if (!isVisible())
        return; // drawn when shown
    if (following_)
        followNewest();
    else
        refill();
}

void LivePlot::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (following_)
        followNewest();
    else
        refill();
}

void LivePlot::appendGap(double time)
{
    series_.appendGap(time);
}

void LivePlot::clear()
{
    series_.clear();
    refill();
}

QCPRange LivePlot::visibleRange() const
{
    return plot_->xAxis->range();
}

int LivePlot::drawnPointCount(int series) const
{
    return graphs_[std::size_t(series)]->dataCount();
}

void LivePlot::rangeChangedByUser()
{
    setFollowing(false);
    refill();
}

void LivePlot::followNewest()
{
    // Before the first sample the window ends now, so that the axis shows today.
    const double newest = series_.isEmpty() ? double(QDateTime::currentMSecsSinceEpoch()) / 1000
                                            : series_.times().constLast();
    double oldest = newest - (window_ > 0 ? window_ : lastHour);
    if (window_ <= 0 && !series_.isEmpty())
        oldest = series_.times().constFirst();
    settingRange_ = true;
    plot_->xAxis->setRange(oldest, std::max(newest, oldest + 10));
    settingRange_ = false;
    refill();
}

void LivePlot::refill()
{
    const QCPRange range = plot_->xAxis->range();
    const ColumnGrid grid = columnGrid(series_.times(), range.lower, range.upper,
                                       std::max(plot_->axisRect()->width(), 1));
    std::array<double, SampleSeries::valuesPerObject> pmHigh;
    pmHigh.fill(-1);
    double temperatureLow = qInf();
    double temperatureHigh = -qInf();
    for (int s = 0; s < SampleSeries::seriesCount; ++s) {
        QCPGraph *graph = graphs_[std::size_t(s)];
        if (!isSeriesShown(s)) {
            graph->data()->clear();
            continue;
        }
        const DecimatedSeries points = decimate(grid, series_.times(), series_.values(s));
        graph->setData(points.times, points.values, true);
        for (int i = 0; i < points.times.size(); ++i) {
            const double value = points.values[i];
            if (std::isnan(value) || points.times[i] < range.lower || points.times[i] > range.upper)
                continue;
            if (s < SampleSeries::temperature) {
                double &high = pmHigh[std::size_t(s % SampleSeries::valuesPerObject)];
                high = std::max(high, value);
            } else if (s == SampleSeries::temperature) {
                temperatureLow = std::min(temperatureLow, value);
                temperatureHigh = std::max(temperatureHigh, value);
            }
        }
    }
    for (std::size_t v = 0; v < alertLines_.size(); ++v)
        if (alertLines_[v]->visible())
            pmHigh[v] = std::max(pmHigh[v], alertLines_[v]->point1->coords().y());
    const std::size_t pm100 = std::size_t(SampleSeries::Value::Pm100);
    plot_->yAxis->setRange(paddedRange(0, std::max(pmHigh[0], pmHigh[1]), 0, 100));
    plot_->yAxis2->setRange(paddedRange(0, pmHigh[pm100], 0, 1000));
    environmentRect_->axis(QCPAxis::atLeft)
        ->setRange(paddedRange(temperatureLow, temperatureHigh, -40, 40));
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

bool LivePlot::savePng(const QString &path)
{
    return plot_->savePng(path, plot_->width(), plot_->height());
}

bool LivePlot::saveSvg(const QString &path)
{
    QSvgGenerator generator;
    generator.setFileName(path);
    generator.setSize(plot_->size());
    generator.setViewBox(plot_->rect());
    generator.setTitle(tr("PX8107 monitor chart"));
    QCPPainter painter;
    if (!painter.begin(&generator))
        return false;
    plot_->toPainter(&painter, plot_->width(), plot_->height());
    return painter.end();
}
