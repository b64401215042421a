// Plotting a day of samples at 1600x900: one candidate per run, so that each has the process's
// memory to itself. Prints one line of key=value figures:
//
//   px8107-bench-plot CANDIDATE [APPENDS] [ZOOMS]
//
// CANDIDATE: monitor-chart (the monitor's chart: QCustomPlot fed per pixel column, two panels,
// legend), qcustomplot (fed per pixel column by decimateToColumns), qcustomplot-adaptive
// (every point held by the library, its own adaptive sampling), qwt-decimated (Qwt 6.1 fed per
// pixel column: it has no such reduction of its own), qtcharts-naive (every point in
// one QLineSeries per series), qtcharts-decimated (fed per pixel column).

#include "monitor/columndecimation.h"
#include "monitor/liveplot.h"
#include "processusage.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QFile>
#include <QLineSeries>
#include <QRandomGenerator>
#include <QValueAxis>
#include <qcustomplot.h>
#include <qwt/qwt_plot.h>
#include <qwt/qwt_plot_canvas.h>
#include <qwt/qwt_plot_curve.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

QT_CHARTS_USE_NAMESPACE

namespace {

constexpr int plotWidth = 1600;
constexpr int plotHeight = 900;
constexpr int daySeconds = 24 * 60 * 60;
constexpr int pmSeries = 5 * 3;
constexpr int environmentSeries = 2;
constexpr int seriesCount = pmSeries + environmentSeries;
constexpr double firstSampleTime = 1.8e9;
constexpr int zoomedInSeconds = 5 * 60;
// A slow candidate is measured for at most this long per figure.
constexpr qint64 figureBudgetMs = 20000;

// A day of random-walk samples, one column per series.
struct DayOfSamples
{
    QVector<double> times;
    QVector<QVector<float>> values{seriesCount};
    QRandomGenerator random{107};

    void append(double time)
    {
        times.append(time);
        for (int s = 0; s < seriesCount; ++s) {
            const float last = values[s].isEmpty() ? float(20 + 5 * s) : values[s].constLast();
            const float step = float(random.bounded(2.0) - 1.0);
            values[s].append(std::max(0.0f, last + step));
        }
    }
    double last() const { return times.constLast(); }
};

// What each candidate does: load the day, add one sample, show [from, to] and paint it.
class Candidate
{
public:
    virtual ~Candidate() = default;
    virtual QWidget *widget() = 0;
    virtual void load(const DayOfSamples &day) = 0;
    virtual void appendLast(const DayOfSamples &day) = 0;
    virtual void showRange(const DayOfSamples &day, double from, double to) = 0;
};

QPen seriesPen(int s)
{
    return QPen(QColor::fromHsv((s * 360 / seriesCount) % 360, 200, 200), 1);
}

class CustomPlotCandidate : public Candidate
{
public:
    explicit CustomPlotCandidate(bool decimated) : decimated_(decimated)
    {
        // Antialiased lines cost several times more to paint and add nothing at a point per pixel.
        plot_.setNotAntialiasedElements(QCP::aeAll);
        plot_.setPlottingHint(QCP::phFastPolylines, true);
        plot_.yAxis2->setVisible(true);
        for (int s = 0; s < seriesCount; ++s) {
            QCPGraph *graph =
                plot_.addGraph(plot_.xAxis, s < pmSeries ? plot_.yAxis : plot_.yAxis2);
            graph->setPen(seriesPen(s));
            graph->setAdaptiveSampling(!decimated);
        }
        plot_.xAxis->setTicker(QSharedPointer<QCPAxisTickerDateTime>::create());
        plot_.yAxis->setRange(0, 200);
        plot_.yAxis2->setRange(0, 100);
        plot_.resize(plotWidth, plotHeight);
    }
    QWidget *widget() override { return &plot_; }
    void load(const DayOfSamples &day) override
    {
        if (decimated_)
            return;
        for (int s = 0; s < seriesCount; ++s) {
            QVector<double> values(day.values[s].begin(), day.values[s].end());
            plot_.graph(s)->setData(day.times, values, true);
        }
    }
    void appendLast(const DayOfSamples &day) override
    {
        if (decimated_)
            return;
        for (int s = 0; s < seriesCount; ++s)
            plot_.graph(s)->addData(day.last(), double(day.values[s].constLast()));
    }
    void showRange(const DayOfSamples &day, double from, double to) override
    {
        plot_.xAxis->setRange(from, to);
        if (decimated_) {
            const ColumnGrid grid = columnGrid(day.times, from, to, int(plot_.axisRect()->width()));
            for (int s = 0; s < seriesCount; ++s) {
                const DecimatedSeries d = decimate(grid, day.times, day.values[s]);
                plot_.graph(s)->setData(d.times, d.values, true);
            }
        }
        plot_.replot(QCustomPlot::rpImmediateRefresh);
    }

private:
    QCustomPlot plot_;
    bool decimated_;
};

class ChartsCandidate : public Candidate
{
public:
    explicit ChartsCandidate(bool decimated) : decimated_(decimated)
    {
        auto *chart = new QChart;
        chart->legend()->hide();
        chart->addAxis(timeAxis_, Qt::AlignBottom);
        chart->addAxis(pmAxis_, Qt::AlignLeft);
        chart->addAxis(environmentAxis_, Qt::AlignRight);
        pmAxis_->setRange(0, 200);
        environmentAxis_->setRange(0, 100);
        for (int s = 0; s < seriesCount; ++s) {
            auto *series = new QLineSeries;
            series->setPen(seriesPen(s));
            chart->addSeries(series);
            series->attachAxis(timeAxis_);
            series->attachAxis(s < pmSeries ? pmAxis_ : environmentAxis_);
            series_.append(series);
        }
        view_.setChart(chart);
        view_.resize(plotWidth, plotHeight);
    }
    QWidget *widget() override { return &view_; }
    void load(const DayOfSamples &day) override
    {
        if (decimated_)
            return;
        for (int s = 0; s < seriesCount; ++s) {
            QVector<QPointF> points(day.times.size());
            for (int i = 0; i < day.times.size(); ++i)
                points[i] = QPointF(day.times[i], double(day.values[s][i]));
            series_[s]->replace(points);
        }
    }
    void appendLast(const DayOfSamples &day) override
    {
        if (decimated_)
            return;
        for (int s = 0; s < seriesCount; ++s)
            series_[s]->append(day.last(), double(day.values[s].constLast()));
    }
    void showRange(const DayOfSamples &day, double from, double to) override
    {
        timeAxis_->setRange(from, to);
        if (decimated_) {
            const ColumnGrid grid =
                columnGrid(day.times, from, to, int(view_.chart()->plotArea().width()));
            for (int s = 0; s < seriesCount; ++s) {
                const DecimatedSeries d = decimate(grid, day.times, day.values[s]);
                QVector<QPointF> points(d.times.size());
                for (int i = 0; i < d.times.size(); ++i)
                    points[i] = QPointF(d.times[i], d.values[i]);
                series_[s]->replace(points);
            }
        }
        // The scene applies its changes from queued events; then paint the whole view.
        QCoreApplication::processEvents();
        view_.viewport()->repaint();
    }

private:
    QChartView view_;
    QValueAxis *timeAxis_ = new QValueAxis;
    QValueAxis *pmAxis_ = new QValueAxis;
    QValueAxis *environmentAxis_ = new QValueAxis;
    QVector<QLineSeries *> series_;
    bool decimated_;
};

class QwtCandidate : public Candidate
{
public:
    QwtCandidate()
    {
        plot_.enableAxis(QwtPlot::yRight);
        plot_.setAxisScale(QwtPlot::yLeft, 0, 200);
        plot_.setAxisScale(QwtPlot::yRight, 0, 100);
        for (int s = 0; s < seriesCount; ++s) {
            auto *curve = new QwtPlotCurve;
            curve->setPen(seriesPen(s));
            curve->setYAxis(s < pmSeries ? QwtPlot::yLeft : QwtPlot::yRight);
            curve->attach(&plot_);
            curves_.append(curve);
        }
        plot_.resize(plotWidth, plotHeight);
    }
    QWidget *widget() override { return &plot_; }
    void load(const DayOfSamples &) override {}
    void appendLast(const DayOfSamples &) override {}
    void showRange(const DayOfSamples &day, double from, double to) override
    {
        plot_.setAxisScale(QwtPlot::xBottom, from, to);
        plot_.updateAxes();
        const ColumnGrid grid = columnGrid(day.times, from, to, plot_.canvas()->width());
        for (int s = 0; s < seriesCount; ++s) {
            const DecimatedSeries d = decimate(grid, day.times, day.values[s]);
            curves_[s]->setSamples(d.times, d.values);
        }
        plot_.replot();
        plot_.repaint();
    }

private:
    QwtPlot plot_;
    QVector<QwtPlotCurve *> curves_;
};

// The monitor's own chart: its series store, decimation, two panels, legend and styles.
class MonitorChartCandidate : public Candidate
{
public:
    MonitorChartCandidate()
    {
        chart_.setObjects(SampleSeries::objectNames());
        chart_.setTimeWindow(LivePlot::lastDay);
        chart_.findChild<QCustomPlot *>(QStringLiteral("plot"))
            ->setPlottingHint(QCP::phImmediateRefresh, true);
        chart_.resize(plotWidth, plotHeight);
    }
    QWidget *widget() override { return &chart_; }
    void load(const DayOfSamples &day) override
    {
        for (int i = 0; i < day.times.size(); ++i)
            chart_.append(rowsOf(day, i));
    }
    void appendLast(const DayOfSamples &day) override
    {
        chart_.append(rowsOf(day, int(day.times.size()) - 1));
    }
    void showRange(const DayOfSamples &, double from, double to) override
    {
        // Following: the append has moved the view; otherwise a zoom as the mouse makes one.
        auto *plot = chart_.findChild<QCustomPlot *>(QStringLiteral("plot"));
        if (!chart_.isFollowing() || plot->xAxis->range() != QCPRange(from, to))
            plot->xAxis->setRange(from, to);
        QCoreApplication::processEvents();
    }

private:
    static QVector<SampleRow> rowsOf(const DayOfSamples &day, int i)
    {
        QVector<SampleRow> rows;
        for (int object = 0; object < SampleSeries::objectCount; ++object) {
            SampleRow row;
            row.time = QDateTime::fromMSecsSinceEpoch(qint64(day.times[i] * 1000), Qt::UTC);
            row.object = SampleSeries::objectNames().at(object);
            row.pm25 = double(day.values[object * 3][i]);
            row.pm10 = double(day.values[object * 3 + 1][i]);
            row.pm100 = double(day.values[object * 3 + 2][i]);
            row.temperature = double(day.values[pmSeries][i]);
            row.humidity = double(day.values[pmSeries + 1][i]);
            rows.append(row);
        }
        return rows;
    }

    LivePlot chart_;
};

std::unique_ptr<Candidate> makeCandidate(const QString &name)
{
    if (name == QLatin1String("monitor-chart"))
        return std::make_unique<MonitorChartCandidate>();
    if (name == QLatin1String("qcustomplot"))
        return std::make_unique<CustomPlotCandidate>(true);
    if (name == QLatin1String("qcustomplot-adaptive"))
        return std::make_unique<CustomPlotCandidate>(false);
    if (name == QLatin1String("qtcharts-naive"))
        return std::make_unique<ChartsCandidate>(false);
    if (name == QLatin1String("qwt-decimated"))
        return std::make_unique<QwtCandidate>();
    if (name == QLatin1String("qtcharts-decimated"))
        return std::make_unique<ChartsCandidate>(true);
    return nullptr;
}

qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Wall-clock and CPU time of each run: on a shared machine the second shows our own cost.
struct Runs
{
    QVector<qint64> wallNs;
    QVector<qint64> cpuNs;
};

double medianMs(QVector<qint64> nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return nanoseconds.isEmpty() ? -1 : double(nanoseconds[nanoseconds.size() / 2]) / 1e6;
}

// Times up to `count` runs of `step`, fewer once the budget is spent (at least three).
Runs timeRuns(int count, const std::function<void()> &prepare, const std::function<void()> &step)
{
    Runs runs;
    QElapsedTimer budget;
    budget.start();
    for (int i = 0; i < count && (i < 3 || budget.elapsed() < figureBudgetMs); ++i) {
        prepare();
        QElapsedTimer timer;
        const qint64 cpuStart = threadCpuNs();
        timer.start();
        step();
        runs.wallNs.append(timer.nsecsElapsed());
        runs.cpuNs.append(threadCpuNs() - cpuStart);
    }
    return runs;
}

long peakResidentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    std::unique_ptr<Candidate> candidate = makeCandidate(args.value(1));
    if (!candidate) {
        std::fprintf(
            stderr,
            "usage: px8107-bench-plot monitor-chart|qcustomplot|qcustomplot-adaptive|qwt-decimated|"
            "qtcharts-naive|qtcharts-decimated [APPENDS] [ZOOMS]\n");
        return 2;
    }
    const int appends = args.value(2, QStringLiteral("200")).toInt();
    const int zooms = args.value(3, QStringLiteral("20")).toInt();

    DayOfSamples day;
    for (int i = 0; i < daySeconds; ++i)
        day.append(firstSampleTime + i);
    QElapsedTimer loadTimer;
    loadTimer.start();
    candidate->load(day);
    candidate->widget()->show();
    QCoreApplication::processEvents(); // lays the widget out at its size
    candidate->showRange(day, day.last() - daySeconds, day.last());
    const double loadMs = double(loadTimer.nsecsElapsed()) / 1e6;

    // Follow mode over the last day: every sample moves the window by its interval.
    const Runs appendRuns = timeRuns(
        appends, [&] { day.append(day.last() + 1); },
        [&] {
            candidate->appendLast(day);
            candidate->showRange(day, day.last() - daySeconds, day.last());
        });
    const Runs zoomRuns = timeRuns(
        zooms, [&] { candidate->showRange(day, day.last() - zoomedInSeconds, day.last()); },
        [&] { candidate->showRange(day, day.times.constFirst(), day.last()); });

    std::printf("candidate=%s points=%lld load_ms=%.1f append_repaint_median_ms=%.2f "
                "append_repaint_cpu_median_ms=%.2f appends=%d zoom_whole_day_median_ms=%.2f "
                "zoom_whole_day_cpu_median_ms=%.2f zooms=%d rss_mib=%.1f peak_rss_mib=%.1f\n",
                qPrintable(args.value(1)), qint64(day.times.size()) * seriesCount, loadMs,
                medianMs(appendRuns.wallNs), medianMs(appendRuns.cpuNs),
                int(appendRuns.wallNs.size()), medianMs(zoomRuns.wallNs), medianMs(zoomRuns.cpuNs),
                int(zoomRuns.wallNs.size()), double(residentKib()) / 1024,
                double(peakResidentKib()) / 1024);
    return 0;
}
