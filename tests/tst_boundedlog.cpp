#include "processusage.h"
#include "replies/boundedlog.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>


#if defined(__SANITIZE_ADDRESS__)
constexpr bool allocatorKeepsFreedMemory = true; // ASan quarantines what is freed
#else
constexpr bool allocatorKeepsFreedMemory = false;
#endif

// The log as it grows all day: bounded in lines, flat in memory.
class BoundedLogTest : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheNewestLinesInBatches();
    void memoryStaysFlatOnceFull();
};

static void appendLines(QTextEdit &log, int from, int count)
{
    for (int i = from; i < from + count; ++i) {
        boundedlog::append(&log,
                           QStringLiteral("%1 01 03 08 00 7b 01 c8 03 15 00 00 af 51 ").arg(i));
        if (i % 1000 == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
}

void BoundedLogTest::keepsTheNewestLinesInBatches()
{
    QTextEdit log;
    const int full = boundedlog::lineLimit + boundedlog::trimBatch;
    appendLines(log, 0, full);
    QCOMPARE(log.document()->blockCount(), full);
    appendLines(log, full, 1);
    QCOMPARE(log.document()->blockCount(), boundedlog::lineLimit);
    QVERIFY(log.document()->firstBlock().text().startsWith(
        QString::number(full + 1 - boundedlog::lineLimit) + ' '));
    QVERIFY(log.document()->lastBlock().text().startsWith(QString::number(full) + ' '));
}

void BoundedLogTest::memoryStaysFlatOnceFull()
{
    QTextEdit log;
    log.setUndoRedoEnabled(false);
    log.resize(571, 591);
    log.show();
    const int full = boundedlog::lineLimit + boundedlog::trimBatch;
    appendLines(log, 0, 2 * full);
    const long settled = residentKib();
    appendLines(log, 2 * full, 3 * full);
    const long after = residentKib();
    qInfo("RSS %ld kB after %d lines, %ld kB after %d more", settled, 2 * full, after, 3 * full);
    QVERIFY(log.document()->blockCount() <= full);
    QVERIFY(log.document()->blockCount() >= boundedlog::lineLimit);
    if (!allocatorKeepsFreedMemory)
        QVERIFY2(after - settled < 3 * 1024,
                 qPrintable(QString("grew %1 kB").arg(after - settled)));
}

QTEST_MAIN(BoundedLogTest)
#include "tst_boundedlog.moc"
