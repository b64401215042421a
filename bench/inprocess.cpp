// In-process figures of the tool's window against a plain Qt baseline, printed as Markdown tables:
//
//   px8107-bench tick [ITERATIONS]        cost of one receive tick by log size
//   px8107-bench idle [SECONDS]           CPU while the port is open, idle and answered every tick
//   px8107-bench click SIMULATOR [CLICKS] click on the measurement query to its log line

#include "app/mainwindow.h"
#include "replies/boundedlog.h"
#include "processusage.h"
#include "ptypair.h"
#include "serial/codec.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>

namespace {

constexpr int logLimit = boundedlog::lineLimit;
constexpr int trimBatch = boundedlog::trimBatch;
constexpr int pollPeriodMs = 300;
constexpr int lineRate = 9600;
constexpr int bitsPerByte = 10; // start, 8 data, stop
constexpr int followUpMs = 25;
constexpr int benchTimerId = 0x7fff0107;
// The tool's form size, for the plain window of the idle baseline.
constexpr int toolWidth = 1528;
constexpr int toolHeight = 823;
// The line the tool shows for raw values 123, 456 and 789.
const char *const measurementLine = "All Sensor: PM2.5 = 12.3  PM10 = 45.6  PM100 = 789";

QByteArray measurementReply()
{
    return modbus::withCrc(QByteArray::fromHex("010308007b01c803150000"));
}

struct Stats
{
    double median = 0;
    double p90 = 0;
    double min = 0;
    double max = 0;
};

Stats statsOf(QVector<double> values)
{
    Stats s;
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    s.p90 = values[std::min(values.size() - 1, values.size() * 9 / 10)];
    s.min = values.front();
    s.max = values.back();
    return s;
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void runLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    }
    return true;
}

bool waitExposed(QWidget &window)
{
    window.show();
    return waitFor(
        [&window] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 5000);
}

QString lastLine(const QTextEdit *log)
{
    return log->document()->lastBlock().text();
}

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "px8107-bench: %s\n", qPrintable(what));
    std::exit(1);
}

// Lets through only the timer events that the bench sends itself, so the poll timer cannot take
// the bytes meant for a measured tick.
class TickGate : public QObject
{
public:
    bool open = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->type() == QEvent::Timer && !open;
    }
};

// Counts ticks and, if asked, answers each one 100 ms later as a sensor polled every tick would.
class Responder : public QObject
{
public:
    Responder(PtyPair &pty, bool answer) : pty(pty), answer(answer) {}
    int ticks = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Timer)
            return false;
        ++ticks;
        if (answer)
            QTimer::singleShot(100, this, [this] {
                replyWaitFlags.waitSensorData = 1;
                pty.write(measurementReply());
            });
        return false;
    }

private:
    PtyPair &pty;
    bool answer;
};

QComboBox *combo(QWidget &w, const char *name)
{
    return w.findChild<QComboBox *>(QLatin1String(name));
}

QPushButton *button(QWidget &w, const char *name)
{
    return w.findChild<QPushButton *>(QLatin1String(name));
}

QTextEdit *toolLog(QWidget &w)
{
    return w.findChild<QTextEdit *>(QStringLiteral("textEditPM"));
}

void openPort(MainWindow &window, const QString &path)
{
    combo(window, "comboBoxCOM")->setEditText(path);
    QComboBox *rates = combo(window, "comboBox_BoudRate");
    rates->setCurrentIndex(rates->findText(QString::number(lineRate)));
    button(window, "pushButtonOpen")->click();
    if (!button(window, "pushButtonClose")->isEnabled())
        fail(QStringLiteral("cannot open %1").arg(path));
}

// One way of doing a tick's work: the tool's window, or the bare log appends of a plain window.
class TickSubject
{
public:
    virtual ~TickSubject() = default;
    virtual QTextEdit *log() = 0;
    virtual void prepare() = 0;
    virtual void tick() = 0;
};

class ToolTick : public TickSubject
{
public:
    ToolTick()
    {
        if (!pty.isValid())
            fail(QStringLiteral("no pseudo-terminal"));
        window.installEventFilter(&gate);
        if (!waitExposed(window))
            fail(QStringLiteral("window not shown"));
        openPort(window, pty.slavePath());
    }
    QTextEdit *log() override { return toolLog(window); }
    void prepare() override
    {
        replyWaitFlags.waitSensorData = 1;
        const QByteArray reply = measurementReply();
        if (!pty.write(reply))
            fail(QStringLiteral("write to the pseudo-terminal failed"));
        // All 13 bytes on the terminal (no events run, so the port cannot take part of them),
        // then all taken by the window's port.
        QElapsedTimer clock;
        clock.start();
        while (pty.waiting() < reply.size() && clock.elapsed() < 2000)
            QThread::usleep(50);
        if (pty.waiting() != reply.size() || !waitFor([this] { return pty.waiting() == 0; }, 2000))
            fail(QStringLiteral("the window's port did not take the reply"));
    }
    void tick() override
    {
        // Not 0: QMainWindow takes timer events with id 0 as its own (a stopped QBasicTimer).
        QTimerEvent event(benchTimerId);
        gate.open = true;
        QCoreApplication::sendEvent(&window, &event);
        gate.open = false;
    }

private:
    PtyPair pty;
    MainWindow window;
    TickGate gate;
};

// The same two appends on a plain QTextEdit of the same size and font. Trimmed per line, the
// document's own block limit does the trimming, as in the tool; trimmed in batches, the oldest
// lines are cut only once the log is a batch over the limit.
class PlainTick : public TickSubject
{
public:
    enum class Trim
    {
        PerLine,
        InBatches
    };

    PlainTick(const QTextEdit &like, Trim trim) : trim(trim)
    {
        text = new QTextEdit(&window);
        text->setGeometry(like.geometry());
        text->setFont(like.font());
        if (trim == Trim::PerLine)
            text->document()->setMaximumBlockCount(logLimit);
        else
            text->setUndoRedoEnabled(false);
        window.resize(like.window()->size());
        if (!waitExposed(window))
            fail(QStringLiteral("window not shown"));
    }
    QTextEdit *log() override { return text; }
    void prepare() override {}
    void tick() override
    {
        append(hexLine);
        append(QLatin1String(measurementLine));
    }
    void append(const QString &lines)
    {
        text->append(lines);
        QTextDocument *document = text->document();
        if (trim == Trim::PerLine || document->blockCount() <= logLimit + trimBatch)
            return;
        QTextCursor oldest(document);
        oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                            document->blockCount() - logLimit);
        oldest.removeSelectedText();
    }

private:
    Trim trim;
    QMainWindow window;
    QTextEdit *text = nullptr;
    const QString hexLine = toHexText(measurementReply());
};

// A long session's log. Appended in chunks of lines, so that 100,000 lines take seconds to add
// rather than the hours the tool needs for them.
void fillLog(TickSubject &subject, int lines)
{
    constexpr int chunk = 500;
    const QString hexLine = toHexText(measurementReply());
    QStringList text;
    for (int i = 0; i < lines; ++i) {
        text.append(i % 2 == 0 ? hexLine : QLatin1String(measurementLine));
        if (text.size() == chunk || i == lines - 1) {
            if (auto *plain = dynamic_cast<PlainTick *>(&subject))
                plain->append(text.join(QLatin1Char('\n')));
            else
                subject.log()->append(text.join(QLatin1Char('\n')));
            text.clear();
            QCoreApplication::processEvents();
        }
    }
    runLoopFor(100);
}

struct TickFigures
{
    Stats handlerUs;
    Stats totalUs;
    double totalMeanUs = 0;
    int linesHeld = 0;
    long rssKib = 0;
};

TickFigures measureTicks(TickSubject &subject, int logLines, int iterations)
{
    QTextEdit *log = subject.log();
    log->clear();
    fillLog(subject, logLines);
    const long rss = residentKib();
    const QString hexLine = toHexText(measurementReply()).trimmed();
    QVector<double> handler;
    QVector<double> total;
    for (int i = 0; i < iterations; ++i) {
        if (logLines == 0)
            log->clear();
        subject.prepare();
        QCoreApplication::processEvents();
        const int blocksBefore = log->document()->blockCount();
        const double before = threadCpuSeconds();
        subject.tick();
        const double afterTick = threadCpuSeconds();
        runLoopFor(followUpMs);
        const double afterFollowUp = threadCpuSeconds();

        const QTextBlock last = log->document()->lastBlock();
        const bool logged = last.text() == QLatin1String(measurementLine) &&
                            last.previous().text().trimmed() == hexLine;
        const bool grew = log->document()->blockCount() > blocksBefore ||
                          log->document()->blockCount() >= logLimit;
        if (!logged || !grew)
            fail(QStringLiteral("tick %1 did not log the reply: \"%2\"").arg(i).arg(last.text()));
        handler.append((afterTick - before) * 1e6);
        total.append((afterFollowUp - before) * 1e6);
    }
    const double mean = std::accumulate(total.begin(), total.end(), 0.0) / total.size();
    return {statsOf(handler), statsOf(total), mean, log->document()->blockCount(), rss};
}

int runTick(int iterations)
{
    ToolTick tool;
    PlainTick perLine(*tool.log(), PlainTick::Trim::PerLine);
    PlainTick inBatches(*tool.log(), PlainTick::Trim::InBatches);
    const int sizes[] = {0, 10000, 100000};
    std::printf("### Tick cost (%d ticks per row, one 13-byte measurement reply each)\n\n"
                "Thread CPU time. Tick: the receive tick itself. +follow-up: the tick and the "
                "layout and repaint it causes in the next %d ms.\n"
                "Baseline: a plain QTextEdit of the same size and font appending the same two "
                "lines, trimmed per line by the document's block limit; and the same trimmed in "
                "batches of %d lines once over the limit, as the tool does.\n\n",
                iterations, followUpMs, trimBatch);
    std::printf("| log lines appended (held) | tool: tick | tool: +follow-up median (mean) | "
                "baseline, per-line trim: +follow-up | tool / baseline | baseline, batch trim: "
                "+follow-up median (mean) | tool RSS after filling |\n"
                "|---|---|---|---|---|---|---|\n");
    TickFigures empty;
    TickFigures longest;
    for (const int size : sizes) {
        const TickFigures ours = measureTicks(tool, size, iterations);
        const TickFigures plain = measureTicks(perLine, size, iterations);
        const TickFigures batched = measureTicks(inBatches, size, iterations);
        std::printf("| %d (%d) | %.0f µs | %.0f µs (%.0f) | %.0f µs | %.2f | %.0f µs (%.0f) | %.1f "
                    "MiB |\n",
                    size, ours.linesHeld, ours.handlerUs.median, ours.totalUs.median,
                    ours.totalMeanUs, plain.totalUs.median,
                    ours.totalUs.median / plain.totalUs.median, batched.totalUs.median,
                    batched.totalMeanUs, double(ours.rssKib) / 1024);
        std::fflush(stdout);
        if (size == sizes[0])
            empty = ours;
        longest = ours;
    }
    const double growth = longest.handlerUs.median / empty.handlerUs.median;
    const double growthTotal = longest.totalUs.median / empty.totalUs.median;
    std::printf("\nGrowth, tick at %d lines / tick at an empty log: tick %.1fx, with follow-up "
                "%.1fx (target <= 2x: %s)\n\n",
                sizes[2], growth, growthTotal,
                growth <= 2.0 && growthTotal <= 2.0 ? "met" : "MISSED");
    return 0;
}

struct IdleFigures
{
    double cpuSeconds = 0;
    double seconds = 0;
    int ticks = 0;
    int measurementLines = 0;

    double perMinute() const { return cpuSeconds * 60.0 / seconds; }
    double percentOfCore() const { return cpuSeconds * 100.0 / seconds; }
};

IdleFigures measureIdle(int seconds)
{
    QElapsedTimer clock;
    const double before = processCpuSeconds();
    clock.start();
    runLoopFor(seconds * 1000);
    return {processCpuSeconds() - before, double(clock.nsecsElapsed()) / 1e9, 0, 0};
}

int countLines(const QTextEdit *log, const QString &prefix)
{
    int count = 0;
    for (QTextBlock b = log->document()->begin(); b.isValid(); b = b.next())
        count += b.text().startsWith(prefix) ? 1 : 0;
    return count;
}

IdleFigures measureToolIdle(int seconds, bool answer)
{
    PtyPair pty;
    if (!pty.isValid())
        fail(QStringLiteral("no pseudo-terminal"));
    MainWindow window;
    if (!waitExposed(window))
        fail(QStringLiteral("window not shown"));
    openPort(window, pty.slavePath());
    toolLog(window)->clear();
    runLoopFor(1000);
    Responder responder(pty, answer);
    window.installEventFilter(&responder);
    IdleFigures figures = measureIdle(seconds);
    window.removeEventFilter(&responder);
    figures.ticks = responder.ticks;
    figures.measurementLines = countLines(toolLog(window), QStringLiteral("All Sensor: "));
    const int expectedTicks = int(figures.seconds * 1000 / pollPeriodMs);
    if (figures.ticks < expectedTicks * 9 / 10)
        fail(QStringLiteral("only %1 ticks in %2 s").arg(figures.ticks).arg(figures.seconds));
    if (answer && figures.measurementLines < figures.ticks * 9 / 10)
        fail(QStringLiteral("only %1 of %2 ticks decoded a reply")
                 .arg(figures.measurementLines)
                 .arg(figures.ticks));
    pty.discardWritten();
    return figures;
}

int runIdle(int seconds)
{
    QMainWindow plain;
    plain.resize(toolWidth, toolHeight);
    if (!waitExposed(plain))
        fail(QStringLiteral("window not shown"));
    runLoopFor(1000);
    const IdleFigures base = measureIdle(seconds);
    plain.hide();

    const IdleFigures open = measureToolIdle(seconds, false);
    const IdleFigures answered = measureToolIdle(seconds, true);

    std::printf("### Idle load (measured over %d s each, scaled to one minute; process CPU, all "
                "threads)\n\n",
                seconds);
    std::printf("Baseline: an empty QMainWindow of the same size, shown, nothing running.\n"
                "Answered: the bench writes one 13-byte measurement reply 100 ms after each tick "
                "and raises the query's flag (its own cost, a few µs per tick, is included).\n\n");
    std::printf("| state | ticks | CPU per minute | %% of one core | baseline per minute | ratio "
                "|\n|---|---|---|---|---|---|\n");
    const auto row = [&base](const char *name, const IdleFigures &f) {
        std::printf("| %s | %d | %.4f s | %.3f %% | %.4f s | %.1f |\n", name, f.ticks,
                    f.perMinute(), f.percentOfCore(), base.perMinute(),
                    base.cpuSeconds > 0 ? f.perMinute() / base.perMinute() : 0.0);
    };
    row("port open, nothing arriving", open);
    row("port open, a reply every tick", answered);
    std::printf("\nIdle with the port open: %.3f %% of one core (target < 0.5 %%: %s)\n\n",
                open.percentOfCore(), open.percentOfCore() < 0.5 ? "met" : "MISSED");
    return 0;
}

int runClick(const QString &simulator, int clicks)
{
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simulator, {QStringLiteral("--baud"), QString::number(lineRate),
                          QStringLiteral("--processing-ms"), QStringLiteral("0")});
    if (!sim.waitForStarted(5000) || !waitFor([&sim] { return sim.canReadLine(); }, 5000))
        fail(QStringLiteral("simulator %1 did not start").arg(simulator));
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();

    std::vector<double> latencies;
    int requestBytes = 0;
    {
        MainWindow window;
        if (!waitExposed(window))
            fail(QStringLiteral("window not shown"));
        openPort(window, path);
        runLoopFor(2 * pollPeriodMs);
        QTextEdit *log = toolLog(window);
        QPushButton *query = button(window, "pushButton_GetSensorData");
        QRandomGenerator random(8107);
        for (int i = 0; i < clicks; ++i) {
            runLoopFor(int(random.bounded(pollPeriodMs)));
            log->clear();
            QElapsedTimer clock;
            clock.start();
            query->click();
            const bool shown = waitFor(
                [log] { return lastLine(log).startsWith(QLatin1String("All Sensor: PM2.5 = ")); },
                3 * pollPeriodMs);
            if (!shown)
                fail(QStringLiteral("click %1: no measurement line; log ends \"%2\"")
                         .arg(i)
                         .arg(lastLine(log)));
            latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        requestBytes = window.findChild<QLineEdit *>(QStringLiteral("lineEdit_TransSend_2"))
                           ->text()
                           .split(QLatin1Char(' '), Qt::SkipEmptyParts)
                           .size();
    }
    sim.terminate();
    sim.waitForFinished(3000);

    const int replyBytes = measurementReply().size();
    const double lineMs = 1000.0 * (requestBytes + replyBytes) * bitsPerByte / lineRate;
    const double boundMs = pollPeriodMs + lineMs;
    const Stats s = statsOf(QVector<double>(latencies.begin(), latencies.end()));
    const auto over = std::count_if(latencies.begin(), latencies.end(),
                                    [boundMs](double ms) { return ms > boundMs; });
    std::printf("### Click to display (%d clicks at random phases of the tick, simulator at %d "
                "baud, no processing delay)\n\n",
                clicks, lineRate);
    std::printf("Bound: one tick (%d ms) + line time of the %d-byte request and %d-byte reply "
                "(%.1f ms) = %.1f ms.\n\n",
                pollPeriodMs, requestBytes, replyBytes, lineMs, boundMs);
    std::printf("| min | median | p90 | max | bound | max / bound | clicks over the bound "
                "|\n|---|---|---|---|---|---|---|\n");
    std::printf("| %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.2f | %d of %d |\n\n", s.min,
                s.median, s.p90, s.max, boundMs, s.max / boundMs, int(over), clicks);
    std::printf("Click to display within one tick plus the line time: %s\n\n",
                over == 0 ? "met" : "MISSED");
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: px8107-bench tick [ITERATIONS] | idle [SECONDS] | "
                         "click SIMULATOR [CLICKS]\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    const QString mode = args.value(0);
    const auto number = [&args](int index, int fallback) {
        bool ok = false;
        const int value = args.value(index).toInt(&ok);
        return ok && value > 0 ? value : fallback;
    };
    if (mode == QLatin1String("tick"))
        return runTick(number(1, 200));
    if (mode == QLatin1String("idle"))
        return runIdle(number(1, 20));
    if (mode == QLatin1String("click") && args.size() >= 2)
        return runClick(args.at(1), number(2, 40));
    return usage();
}
