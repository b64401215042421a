#include "commands/requests.h"
#include "serial/codec.h"
#include "serial/requestengine.h"
#include "simulatorprocess.h"

#include <QSignalSpy>
#include <QtTest>

// The engine in this process, against the simulator over its pty: what a window sees of it.
class RequestEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void queuedRequestsFinishInOrder();
    void retriesThenGivesUp();
    void bytesOutsideTransactionsAreCounted();
    void lostPortEndsTheTransaction();
    void closedPortFailsAtOnce();
};

namespace {
const QByteArray measurementOf1 = QByteArray::fromHex("010300b40004042f");
const QByteArray unknownRegister = QByteArray::fromHex("010300010001d5ca");

using Results = QList<RequestEngine::Result>;

void collect(RequestEngine &engine, Results &results)
{
    QObject::connect(&engine, &RequestEngine::finished,
                     [&results](const RequestEngine::Result &r) { results << r; });
}
} // namespace

void RequestEngineTest::queuedRequestsFinishInOrder()
{
    SimulatorProcess sim;
    QVERIFY(sim.start());
    RequestEngine engine;
    QVERIFY(engine.open(sim.ptyPath(), 9600));
    Results results;
    collect(engine, results);
    const quint64 first = engine.submit(measurementOf1);
    const quint64 second = engine.submit(unknownRegister);
    const quint64 third = engine.submit(modbus::toUnit(requests::query(Register::TempHumi), 1));
    QVERIFY(engine.isBusy());
    QTRY_COMPARE(results.size(), 3);
    QCOMPARE(results[0].id, first);
    QCOMPARE(results[0].reply, QByteArray::fromHex("010308007b01c8031600005f51"));
    QCOMPARE(results[1].id, second);
    QCOMPARE(results[1].outcome, reply::Outcome::Exception);
    QCOMPARE(results[1].exceptionCode, quint8(2));
    QCOMPARE(results[1].text(), QStringLiteral("exception 02 (illegal data address)"));
    QCOMPARE(results[2].id, third);
    QVERIFY(results[2].ok());
    QCOMPARE(engine.counters().replies, quint64(3));
    QCOMPARE(engine.counters().exceptions, quint64(1));
    QVERIFY(!engine.isBusy());
}

void RequestEngineTest::retriesThenGivesUp()
{
    SimulatorProcess sim({"--corrupt-every", "1", "--verbose"});
    QVERIFY(sim.start());
    RequestEngine engine;
    QVERIFY(engine.open(sim.ptyPath(), 9600));
    engine.setRetries(2);
    const RequestEngine::Result result = engine.run(measurementOf1);
    QCOMPARE(result.outcome, reply::Outcome::BadCrc);
    QCOMPARE(result.attempts, 3);
    QCOMPARE(result.reply.size(), 13);
    QCOMPARE(engine.counters().crcErrors, quint64(3));
    QTRY_COMPARE(sim.requests(), (QByteArrayList{measurementOf1, measurementOf1, measurementOf1}));
}

void RequestEngineTest::bytesOutsideTransactionsAreCounted()
{
    SimulatorProcess sim({"--noise-every", "1", "--noise", "fefe"});
    QVERIFY(sim.start());
    RequestEngine engine;
    QVERIFY(engine.open(sim.ptyPath(), 9600));
    QVERIFY(engine.run(measurementOf1).ok());
    QVERIFY(engine.run(measurementOf1).ok());
    QTRY_COMPARE(engine.counters().strayBytes, quint64(4));
}

void RequestEngineTest::lostPortEndsTheTransaction()
{
    SimulatorProcess sim({"--vanish-after", "1"});
    QVERIFY(sim.start());
    RequestEngine engine;
    QVERIFY(engine.open(sim.ptyPath(), 9600));
    QSignalSpy lost(&engine, &RequestEngine::portLost);
    QVERIFY(engine.run(measurementOf1).ok());
    const RequestEngine::Result result = engine.run(measurementOf1);
    QCOMPARE(result.outcome, reply::Outcome::PortLost);
    QCOMPARE(lost.size(), 1);
    QVERIFY(lost.first().first().toString().startsWith(sim.ptyPath()));
    QVERIFY(!engine.isOpen());
}

void RequestEngineTest::closedPortFailsAtOnce()
{
    RequestEngine engine;
    QCOMPARE(engine.run(measurementOf1).outcome, reply::Outcome::PortUnavailable);
}

QTEST_GUILESS_MAIN(RequestEngineTest)
#include "tst_requestengine.moc"
