#include "mosquittobroker.h"
#include "mqtt/mqttcommandline.h"
#include "mqtt/mqttpublisher.h"
#include "simulatorprocess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

#include <mosquitto.h>

namespace {
constexpr int brokerTimeoutMs = 20000;

struct ReceivedMessage
{
    QString topic;
    QByteArray payload;
    bool retained;
};

// Subscribes with QoS 1; a persistent one keeps its session across a broker restart.
class Subscriber
{
public:
    Subscriber(const QString &clientId, bool persistent)
    {
        client_ = mosquitto_new(clientId.toUtf8().constData(), !persistent, this);
        mosquitto_reconnect_delay_set(client_, 1, 1, false);
        mosquitto_connect_callback_set(client_, [](mosquitto *client, void *, int result) {
            if (result == 0)
                mosquitto_subscribe(client, nullptr, "#", 1);
        });
        mosquitto_subscribe_callback_set(
            client_, [](mosquitto *, void *self, int, int, const int *) {
                static_cast<Subscriber *>(self)->subscribed_.storeRelease(1);
            });
        mosquitto_message_callback_set(
            client_, [](mosquitto *, void *self, const mosquitto_message *message) {
                auto *subscriber = static_cast<Subscriber *>(self);
                QMutexLocker lock(&subscriber->mutex_);
                subscriber->messages_.append(
                    {QString::fromUtf8(message->topic),
                     QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
                     message->retain});
            });
    }
    ~Subscriber()
    {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    void connect(quint16 port)
    {
        mosquitto_connect_async(client_, "127.0.0.1", port, 30);
        mosquitto_loop_start(client_);
    }
    bool isSubscribed() const { return subscribed_.loadAcquire() != 0; }
    mosquitto *client() const { return client_; }
    QList<ReceivedMessage> messages(const QString &topicEnd = {}) const
    {
        QMutexLocker lock(&mutex_);
        QList<ReceivedMessage> matching;
        for (const ReceivedMessage &message : messages_) {
            if (message.topic.endsWith(topicEnd))
                matching.append(message);
        }
        return matching;
    }
    // Sample numbers in arrival order, repeats of QoS 1 redelivery removed.
    QList<int> sampleNumbers() const
    {
        QList<int> numbers;
        for (const ReceivedMessage &message : messages()) {
            const QJsonObject sample = QJsonDocument::fromJson(message.payload).object();
            if (sample.contains(QLatin1String("n")) && !numbers.contains(sample["n"].toInt()))
                numbers.append(sample["n"].toInt());
        }
        return numbers;
    }

private:
    mosquitto *client_;
    QAtomicInt subscribed_;
    mutable QMutex mutex_;
    QList<ReceivedMessage> messages_;
};

QByteArray sample(int number)
{
    return QJsonDocument(QJsonObject{{"n", number}, {"pm2_5", number % 97}})
        .toJson(QJsonDocument::Compact);
}

QList<int> range(int from, int to)
{
    QList<int> numbers;
    for (int n = from; n < to; ++n)
        numbers.append(n);
    return numbers;
}

MqttSettings settingsFor(const MosquittoBroker &broker)
{
    MqttSettings settings;
    QString error;
    settings.endpoint = *parseMqttUrl(broker.url(), &error);
    settings.topicPrefix = QStringLiteral("bench");
    settings.reconnectMaxDelaySeconds = 1;
    return settings;
}
} // namespace

Q_DECLARE_METATYPE(MosquittoBroker::Transport)

class TestMqtt : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mosquitto_lib_init(); }

    void badCommandLineNamesTheProblem_data();
    void badCommandLineNamesTheProblem();
    void everySampleArrivesOnceInOrder();
    void brokerRestartLosesNothingWithinTheBuffer();
    void brokerChecksLoginAndCertificate_data();
    void brokerChecksLoginAndCertificate();
    void lateSubscriberSeesInfoAndLastWill();
    void monitorPublishesItsRows_data();
    void monitorPublishesItsRows();
};

void TestMqtt::badCommandLineNamesTheProblem_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("credentialsFile");
    QTest::addColumn<QString>("expectedError");

    QTest::newRow("unknown scheme")
        << QStringList{"--mqtt", "http://host:1883"} << QByteArray() << "unknown scheme \"http\"";
    QTest::newRow("no host") << QStringList{"--mqtt", "mqtt://:1883"} << QByteArray()
                             << "names no host";
    QTest::newRow("port out of range")
        << QStringList{"--mqtt", "mqtt://host:70000"} << QByteArray() << "not of the form";
    QTest::newRow("topic in the address")
        << QStringList{"--mqtt", "mqtt://host/plant"} << QByteArray() << "has a path";
    QTest::newRow("wildcard prefix") << QStringList{"--mqtt", "mqtt://host", "--topic", "a/#"}
                                     << QByteArray() << "holds no + or #";
    QTest::newRow("CA without TLS") << QStringList{"--mqtt", "mqtt://host", "--mqtt-ca", "ca.pem"}
                                    << QByteArray() << "--mqtt-ca needs an mqtts://";
    QTest::newRow("topic without broker")
        << QStringList{"--topic", "a"} << QByteArray() << "--topic needs --mqtt";
    QTest::newRow("credentials without password")
        << QStringList{"--mqtt", "mqtt://host"} << QByteArray("reader\n")
        << "second line (the password) is missing";
    QTest::newRow("credentials with empty user")
        << QStringList{"--mqtt", "mqtt://host"} << QByteArray("\nsecret\n")
        << "first line (the user) is empty";
    QTest::newRow("credentials with extra lines")
        << QStringList{"--mqtt", "mqtt://host"} << QByteArray("reader\nsecret\nmore\n")
        << "has 3 lines";
    QTest::newRow("credentials given twice")
        << QStringList{"--mqtt", "mqtt://u:p@host"} << QByteArray("reader\nsecret\n")
        << "credentials given twice";
}

void TestMqtt::badCommandLineNamesTheProblem()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, credentialsFile);
    QFETCH(QString, expectedError);

    QTemporaryFile file;
    if (!credentialsFile.isNull()) {
        QVERIFY(file.open());
        file.write(credentialsFile);
        file.flush();
        arguments << "--mqtt-credentials" << file.fileName();
    }
    QCommandLineParser parser;
    addMqttOptions(parser);
    QVERIFY(parser.parse(QStringList{"px8107ctl"} + arguments));
    QString error;
    QVERIFY(!mqttSettingsFromCommandLine(parser, &error));
    QVERIFY2(error.contains(expectedError), qPrintable(error));
}

void TestMqtt::everySampleArrivesOnceInOrder()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(QStringLiteral("order"), false);
    subscriber.connect(broker.port());
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.isSubscribed(), brokerTimeoutMs);

    constexpr int sampleCount = 600;
    const QStringList objects{"avg", "1", "2"};
    MqttPublisher publisher(settingsFor(broker));
    QVERIFY(publisher.start(QStringLiteral("00A1B2C3"), R"({"firmware":"1.3"})"));
    for (int n = 0; n < sampleCount; ++n)
        QVERIFY(publisher.publishSample(objects[n % 3], sample(n)));
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.messages(QStringLiteral("/2")).size(), sampleCount / 3,
                              brokerTimeoutMs);
    QCOMPARE(publisher.finish(5000), 0);
    QTRY_COMPARE(subscriber.messages("/status").size(), 2);

    QList<int> numbers;
    for (const ReceivedMessage &message : subscriber.messages()) {
        const QJsonObject json = QJsonDocument::fromJson(message.payload).object();
        if (!json.contains("n"))
            continue;
        numbers.append(json["n"].toInt());
        QCOMPARE(message.topic, "bench/00A1B2C3/" + objects[json["n"].toInt() % 3]);
        QCOMPARE(message.retained, false);
    }
    QCOMPARE(numbers, range(0, sampleCount));
    QCOMPARE(subscriber.messages("/status").first().payload, "online");
    QCOMPARE(subscriber.messages("/status").last().payload, "offline");
    QCOMPARE(publisher.droppedCount(), 0u);
}

void TestMqtt::brokerRestartLosesNothingWithinTheBuffer()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(QStringLiteral("restart"), true);
    subscriber.connect(broker.port());
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.isSubscribed(), brokerTimeoutMs);

    constexpr int capacity = 150;
    constexpr int overflow = 20;
    MqttSettings settings = settingsFor(broker);
    settings.bufferCapacity = capacity;
    MqttPublisher publisher(settings);
    QSignalSpy notices(&publisher, &MqttPublisher::notice);
    QVERIFY(publisher.start(QStringLiteral("7"), "{}"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnected(), brokerTimeoutMs);
    for (int n = 0; n < 10; ++n)
        QVERIFY(publisher.publishSample("avg", sample(n)));
    // Stopped with fewer samples in flight than the library sends at once: they go again first.
    broker.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!publisher.isConnected(), brokerTimeoutMs);
    int accepted = 10;
    while (publisher.publishSample("avg", sample(accepted)))
        ++accepted;
    QCOMPARE(publisher.bufferedCount(), capacity);
    for (int n = 1; n < overflow; ++n)
        QVERIFY(!publisher.publishSample("avg", sample(accepted + n)));
    QCOMPARE(publisher.droppedCount(), quint64(overflow));

    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.sampleNumbers().size(), accepted, brokerTimeoutMs);
    QCOMPARE(subscriber.sampleNumbers(), range(0, accepted));
    QTRY_COMPARE(publisher.bufferedCount(), 0);

    QVERIFY(publisher.publishSample("avg", sample(1000)));
    QTRY_VERIFY(subscriber.sampleNumbers().contains(1000));
    const auto noticeTexts = [&notices] {
        QStringList texts;
        for (const QList<QVariant> &notice : notices)
            texts << notice.first().toString();
        return texts;
    };
    QTRY_COMPARE(noticeTexts().filter("20 samples were dropped").size(), 1);
    QCOMPARE(noticeTexts().filter("MQTT buffer full (150 samples").size(), 1);
}

void TestMqtt::brokerChecksLoginAndCertificate_data()
{
    QTest::addColumn<MosquittoBroker::Transport>("transport");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("brokersCa");
    QTest::addColumn<MqttFailure>("expectedFailure");
    QTest::addColumn<QString>("expectedMessage");

    const auto plain = MosquittoBroker::Transport::Plain;
    const auto tls = MosquittoBroker::Transport::Tls;
    QTest::newRow("right password") << plain << "bench"
                                    << "s3cret" << false << MqttFailure::None << "";
    QTest::newRow("wrong password")
        << plain << "bench"
        << "guess" << false << MqttFailure::BrokerRefused << "not authorised";
    QTest::newRow("unknown user") << plain << "intruder"
                                  << "s3cret" << false << MqttFailure::BrokerRefused
                                  << "not authorised";
    QTest::newRow("anonymous") << plain << ""
                               << "" << false << MqttFailure::BrokerRefused << "not authorised";
    QTest::newRow("TLS, the broker's CA") << tls << "bench"
                                          << "s3cret" << true << MqttFailure::None << "";
    QTest::newRow("TLS, another CA")
        << tls << "bench"
        << "s3cret" << false << MqttFailure::CertificateRefused << "certificate verify failed";
}

void TestMqtt::brokerChecksLoginAndCertificate()
{
    QFETCH(MosquittoBroker::Transport, transport);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, brokersCa);
    QFETCH(MqttFailure, expectedFailure);
    QFETCH(QString, expectedMessage);

    MosquittoBroker broker(QList<MosquittoBroker::Login>{{"bench", "s3cret"}}, transport);
    QVERIFY(broker.start());
    MqttSettings settings = settingsFor(broker);
    settings.credentials = {user, password};
    if (transport == MosquittoBroker::Transport::Tls)
        settings.caFile = brokersCa ? broker.caFile() : broker.otherCaFile();
    MqttPublisher publisher(settings);
    QSignalSpy failures(&publisher, &MqttPublisher::failed);
    QVERIFY(publisher.start(QStringLiteral("7"), "{}"));
    if (expectedFailure == MqttFailure::None) {
        QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnected(), brokerTimeoutMs);
        QCOMPARE(publisher.failure(), MqttFailure::None);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(failures.size(), 1, brokerTimeoutMs);
    QCOMPARE(failures.first().at(0).value<MqttFailure>(), expectedFailure);
    const QString message = failures.first().at(1).toString();
    QVERIFY2(message.contains(broker.url()) && message.contains(expectedMessage),
             qPrintable(message));
    QVERIFY(!publisher.publishSample("avg", sample(0)));
}

void TestMqtt::lateSubscriberSeesInfoAndLastWill()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    QProcess monitor;
    monitor.start(QStringLiteral(PX8107_CTL_PATH), {"--port", simulator.ptyPath(), "monitor",
                                                    "--interval", "0.2", "--mqtt", broker.url()});

    Subscriber whileOnline(QStringLiteral("late1"), false);
    whileOnline.connect(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(whileOnline.messages("/info").size(), 1, brokerTimeoutMs);
    QCOMPARE(whileOnline.messages("/status").size(), 1);
    QCOMPARE(whileOnline.messages("/status").first().payload, "online");
    const ReceivedMessage info = whileOnline.messages("/info").first();
    const QJsonObject infoJson = QJsonDocument::fromJson(info.payload).object();
    QCOMPARE(info.topic, "px8107/" + infoJson["device_id"].toString() + "/info");
    QVERIFY(!infoJson["firmware"].toString().isEmpty());

    monitor.kill();
    monitor.waitForFinished();
    QTRY_COMPARE_WITH_TIMEOUT(whileOnline.messages("/status").size(), 2, brokerTimeoutMs);
    QCOMPARE(whileOnline.messages("/status").last().payload, "offline");

    Subscriber afterwards(QStringLiteral("late2"), false);
    afterwards.connect(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(afterwards.messages().size(), 2, brokerTimeoutMs);
    for (const ReceivedMessage &message : afterwards.messages())
        QVERIFY(message.retained);
    QCOMPARE(afterwards.messages(info.topic).first().payload, info.payload);
    QCOMPARE(afterwards.messages("/status").first().payload, "offline");
}

void TestMqtt::monitorPublishesItsRows_data()
{
    QTest::addColumn<QByteArray>("credentialsFile");
    QTest::addColumn<QString>("environmentPassword");
    QTest::addColumn<int>("expectedExitCode");
    QTest::addColumn<QString>("expectedMessage");

    QTest::newRow("credentials from a file") << QByteArray("bench\ns3cret\n") << "" << 0 << "";
    QTest::newRow("wrong password from the environment")
        << QByteArray() << "guess" << 8
        << "refused the connection: Connection Refused: not "
           "authorised";
}

void TestMqtt::monitorPublishesItsRows()
{
    QFETCH(QByteArray, credentialsFile);
    QFETCH(QString, environmentPassword);
    QFETCH(int, expectedExitCode);
    QFETCH(QString, expectedMessage);

    MosquittoBroker broker(QList<MosquittoBroker::Login>{{"bench", "s3cret"}});
    QVERIFY(broker.start());
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    Subscriber subscriber(QStringLiteral("dashboard"), false);
    mosquitto_username_pw_set(subscriber.client(), "bench", "s3cret");
    subscriber.connect(broker.port());
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.isSubscribed(), brokerTimeoutMs);

    QStringList arguments{"--port",     simulator.ptyPath(), "monitor",    "--samples",
                          "4",          "--interval",        "0.2",        "--objects",
                          "avg,2",      "--format",          "jsonl",      "--mqtt",
                          broker.url(), "--topic",           "plant/bench"};
    QTemporaryFile file;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!credentialsFile.isNull()) {
        QVERIFY(file.open());
        file.write(credentialsFile);
        file.flush();
        arguments << "--mqtt-credentials" << file.fileName();
    } else {
        environment.insert(mqttUserVariable, "bench");
        environment.insert(mqttPasswordVariable, environmentPassword);
    }
    QProcess monitor;
    monitor.setProcessEnvironment(environment);
    monitor.start(QStringLiteral(PX8107_CTL_PATH), arguments);
    QVERIFY(monitor.waitForFinished(brokerTimeoutMs));
    const QByteArray diagnostics = monitor.readAllStandardError();
    QVERIFY2(monitor.exitCode() == expectedExitCode, diagnostics.constData());
    QVERIFY2(diagnostics.contains(expectedMessage.toUtf8()), diagnostics.constData());
    if (expectedExitCode != 0)
        return;

    const QList<QByteArray> rows = monitor.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(rows.size(), 8);
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.messages("/status").size(), 2, brokerTimeoutMs);
    QList<QByteArray> published;
    for (const ReceivedMessage &message : subscriber.messages()) {
        const QJsonObject json = QJsonDocument::fromJson(message.payload).object();
        if (json.contains("status") && message.topic.endsWith("/" + json["object"].toString()))
            published << message.payload;
    }
    QCOMPARE(published, rows);
    const QString deviceId = QJsonDocument::fromJson(rows.first()).object()["device_id"].toString();
    QVERIFY(!deviceId.isEmpty());
    QCOMPARE(subscriber.messages("plant/bench/" + deviceId + "/info").size(), 1);
}

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
