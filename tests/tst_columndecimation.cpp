#include "monitor/columndecimation.h"

#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

QVector<int> everyNth(int count, int n)
{
    QVector<int> indices;
    for (int i = n; i < count; i += n)
        indices.append(i);
    return indices;
}

QVector<int> span(int first, int last)
{
    QVector<int> indices;
    for (int i = first; i <= last; ++i)
        indices.append(i);
    return indices;
}

} // namespace

class TestColumnDecimation : public QObject
{
    Q_OBJECT

private slots:
    void keepsExtremesAndGaps_data();
    void keepsExtremesAndGaps();
};

void TestColumnDecimation::keepsExtremesAndGaps_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("gaps");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("columns");

    QTest::newRow("a day into 1600 columns") << 86400 << QVector<int>() << 0.0 << 86399.0 << 1600;
    QTest::newRow("single-sample gaps") << 10000 << everyNth(10000, 97) << 0.0 << 9999.0 << 300;
    QTest::newRow("gap inside one column") << 1000 << span(55, 57) << 0.0 << 999.0 << 10;
    QTest::newRow("gaps at both ends")
        << 500 << (span(0, 9) + span(490, 499)) << 0.0 << 499.0 << 64;
    QTest::newRow("more columns than points") << 50 << span(20, 20) << 0.0 << 49.0 << 500;
    QTest::newRow("a window inside the series")
        << 20000 << everyNth(20000, 1000) << 3000.5 << 9000.5 << 333;
    QTest::newRow("one column") << 3000 << span(1500, 1600) << 0.0 << 2999.0 << 1;
}

void TestColumnDecimation::keepsExtremesAndGaps()
{
    QFETCH(int, count);
    QFETCH(QVector<int>, gaps);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, columns);

    QRandomGenerator random(13);
    QVector<double> times(count);
    QVector<float> values(count);
    for (int i = 0; i < count; ++i) {
        times[i] = i;
        const bool spike = random.bounded(50) == 0;
        values[i] = float(50 + 30 * std::sin(i / 300.0) + random.bounded(5.0) + (spike ? 400 : 0));
    }
    for (int i : gaps)
        values[i] = std::numeric_limits<float>::quiet_NaN();

    const DecimatedSeries out = decimateToColumns(times, values, from, to, columns);
    QCOMPARE(out.times.size(), out.values.size());

    // Every point drawn is a sample as it was, never an invented one.
    QSet<int> drawn;
    for (int k = 0; k < out.times.size(); ++k) {
        if (std::isnan(out.values[k]))
            continue;
        const int i = int(out.times[k]);
        QCOMPARE(out.times[k], times[i]);
        QCOMPARE(out.values[k], double(values[i]));
        drawn.insert(i);
    }

    // The minimum and the maximum of each run of samples between gaps in each column are drawn.
    int runMin = -1;
    int runMax = -1;
    qint64 runColumn = -1;
    const auto checkRun = [&] {
        if (runMin < 0)
            return;
        QVERIFY2(drawn.contains(runMin), qPrintable(QStringLiteral("minimum at %1").arg(runMin)));
        QVERIFY2(drawn.contains(runMax), qPrintable(QStringLiteral("maximum at %1").arg(runMax)));
        runMin = runMax = -1;
    };
    for (int i = 0; i < count; ++i) {
        if (times[i] < from || times[i] > to)
            continue;
        const qint64 column = columnOf(times[i], from, to, columns);
        if (std::isnan(values[i]) || column != runColumn) {
            checkRun();
            if (QTest::currentTestFailed())
                return;
        }
        runColumn = column;
        if (std::isnan(values[i]))
            continue;
        if (runMin < 0 || values[i] < values[runMin])
            runMin = i;
        if (runMax < 0 || values[i] > values[runMax])
            runMax = i;
    }
    checkRun();

    // No line joins two samples with a missing one between them.
    for (int k = 1; k < out.times.size(); ++k) {
        if (std::isnan(out.values[k - 1]) || std::isnan(out.values[k]))
            continue;
        for (int i = int(out.times[k - 1]); i <= int(out.times[k]); ++i)
            QVERIFY2(!std::isnan(values[i]),
                     qPrintable(QStringLiteral("line from %1 to %2 crosses the gap at %3")
                                    .arg(out.times[k - 1])
                                    .arg(out.times[k])
                                    .arg(i)));
    }

    // At most a minimum, a maximum and a break per column and gap, and one point past each end.
    QVERIFY(out.times.size() <= 2 * columns + 3 * gaps.size() + 4);
}

QTEST_APPLESS_MAIN(TestColumnDecimation)
#include "tst_columndecimation.moc"
