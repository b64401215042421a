#include "serial/replyverifier.h"

#include <QtTest>

// Frames written out by hand; their CRCs come from an independent CRC-16/MODBUS calculation.
class TestReplyVerifier : public QObject
{
    Q_OBJECT

private slots:
    void verify_data();
    void verify();
    void expectedLength_data();
    void expectedLength();
    void outcomeNamesAreDistinct();
};

namespace {
const char *measurementAtZero = "000300b4000405fe";
const char *measurementAtOne = "010300b40004042f";
const char *measurementReply = "010308007801c2031500000450";
const char *deviceInfoQuery = "aaa600000000000000000000000000000000ab";
} // namespace

void TestReplyVerifier::verify_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("exceptionCode");

    QTest::newRow("read at unit 0, answered by unit 1")
        << QByteArray(measurementAtZero) << QByteArray(measurementReply) << "ok" << 0;
    QTest::newRow("read at unit 1")
        << QByteArray(measurementAtOne) << QByteArray(measurementReply) << "ok" << 0;
    QTest::newRow("answer from unit 5 to unit 1")
        << QByteArray("010300000001840a") << QByteArray("05030200058987") << "wrong-unit" << 0;
    QTest::newRow("answer from unit 5 to unit 0")
        << QByteArray("00030000000185db") << QByteArray("05030200058987") << "ok" << 0;
    QTest::newRow("read answered from unit 0")
        << QByteArray(measurementAtZero) << QByteArray("0083029131") << "wrong-unit" << 0;
    QTest::newRow("last CRC byte changed")
        << QByteArray(measurementAtOne) << QByteArray("010308007801c2031500000451") << "bad-crc"
        << 0;
    QTest::newRow("function 4 to a function-3 read")
        << QByteArray(measurementAtOne) << QByteArray("010400b40004b1ef") << "wrong-function" << 0;
    QTest::newRow("two registers for four")
        << QByteArray(measurementAtOne) << QByteArray("010304007801c2fa2b") << "wrong-count" << 0;
    QTest::newRow("exception 02") << QByteArray(measurementAtZero) << QByteArray("018302c0f1")
                                  << "exception" << 2;
    QTest::newRow("exception 07, unnamed")
        << QByteArray(measurementAtZero) << QByteArray("01830700f2") << "exception" << 7;
    QTest::newRow("two bytes") << QByteArray(measurementAtZero) << QByteArray("0103") << "bad-frame"
                               << 0;
    QTest::newRow("echo at unit 0")
        << QByteArray("000600ac28f6d67c") << QByteArray("000600ac28f6d67c") << "ok" << 0;
    QTest::newRow("echo from unit 1")
        << QByteArray("000600ac28f6d67c") << QByteArray("010600ac28f6d7ad") << "ok" << 0;
    QTest::newRow("echo of another value")
        << QByteArray("000600ac28f6d67c") << QByteArray("000600ac28f5967d") << "wrong-echo" << 0;
    QTest::newRow("multiple write answered")
        << QByteArray("001000c300020401050064ab00") << QByteArray("011000c30002b1f4") << "ok" << 0;
    QTest::newRow("multiple write, one register answered")
        << QByteArray("001000c300020401050064ab00") << QByteArray("011000c30001f1f5")
        << "wrong-count" << 0;
    QTest::newRow("multiple write, other register answered")
        << QByteArray("001000c300020401050064ab00") << QByteArray("011000c5000251f5")
        << "wrong-echo" << 0;
    QTest::newRow("native device ID") << QByteArray(deviceInfoQuery)
                                      << QByteArray("aaa6000000000000202401070000000000"
                                                    "4cab")
                                      << "ok" << 0;
    QTest::newRow("native checksum off by one") << QByteArray(deviceInfoQuery)
                                                << QByteArray("aaa6000000000000202401070000000000"
                                                              "4dab")
                                                << "bad-checksum" << 0;
    QTest::newRow("native tail wrong") << QByteArray(deviceInfoQuery)
                                       << QByteArray("aaa6000000000000202401070000000000"
                                                     "4cac")
                                       << "bad-frame" << 0;
    QTest::newRow("native firmware to a device-ID query")
        << QByteArray(deviceInfoQuery)
        << QByteArray("aab5000000000000202401070000000000"
                      "4cab")
        << "wrong-function" << 0;
    QTest::newRow("native 18 bytes")
        << QByteArray(deviceInfoQuery) << QByteArray("aaa600000000000020240107000000004cab")
        << "bad-frame" << 0;
}

void TestReplyVerifier::verify()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QString, outcome);
    QFETCH(int, exceptionCode);
    const reply::Verdict verdict =
        reply::verify(QByteArray::fromHex(request), QByteArray::fromHex(reply));
    QCOMPARE(QString::fromLatin1(reply::outcomeName(verdict.outcome)), outcome);
    QCOMPARE(int(verdict.exceptionCode), exceptionCode);
}

void TestReplyVerifier::expectedLength_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("length");

    QTest::newRow("read, unit only") << QByteArray(measurementAtZero) << QByteArray("01") << 0;
    QTest::newRow("read, no count yet") << QByteArray(measurementAtZero) << QByteArray("0103") << 0;
    QTest::newRow("read of 8 bytes") << QByteArray(measurementAtZero) << QByteArray("010308") << 13;
    QTest::newRow("read of 255 bytes")
        << QByteArray(measurementAtZero) << QByteArray("0103ff") << 260;
    QTest::newRow("exception") << QByteArray(measurementAtZero) << QByteArray("0183") << 5;
    QTest::newRow("other function") << QByteArray(measurementAtZero) << QByteArray("0104") << -1;
    QTest::newRow("single write") << QByteArray("000600ac28f6d67c") << QByteArray("0006") << 8;
    QTest::newRow("multiple write")
        << QByteArray("001000c300020401050064ab00") << QByteArray("0110") << 8;
    QTest::newRow("native, nothing yet") << QByteArray(deviceInfoQuery) << QByteArray() << 19;
}

void TestReplyVerifier::expectedLength()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, received);
    QFETCH(int, length);
    QCOMPARE(
        reply::expectedReplyLength(QByteArray::fromHex(request), QByteArray::fromHex(received)),
        length);
}

void TestReplyVerifier::outcomeNamesAreDistinct()
{
    QSet<QString> names;
    for (int i = 0; i <= int(reply::Outcome::PortUnavailable); ++i) {
        const QString name = QString::fromLatin1(reply::outcomeName(reply::Outcome(i)));
        QVERIFY2(!names.contains(name), qPrintable(name));
        names.insert(name);
    }
}

QTEST_GUILESS_MAIN(TestReplyVerifier)
#include "tst_replyverifier.moc"
