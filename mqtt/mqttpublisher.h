#pragma once

#include "mqtt/mqttcredentials.h"
#include "mqtt/mqttendpoint.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QWaitCondition>

#include <deque>

struct mosquitto;
class QThread;

struct MqttSettings
{
    MqttEndpoint endpoint;
    // Empty with mqtts: the system's certificate authorities.
    QString caFile;
    // Empty: "<program>-<device id>-<process id>".
    QString clientId;
    MqttCredentials credentials;
    QString topicPrefix = QStringLiteral("px8107");
    int bufferCapacity = 10000;
    int keepAliveSeconds = 30;
    int reconnectMaxDelaySeconds = 30;
};

enum class MqttFailure : quint8
{
    None,
    BrokerRefused,
    CertificateRefused,
    HostNotFound,
    Other
};

// Publishes samples to a broker from a network thread of its own. Every sample is a QoS 1
// message kept until the broker acknowledges it; while the broker is away the samples wait, in
// order, up to bufferCapacity; beyond that they are dropped, counted and reported.
// The buffer has two parts: samples handed to the library (at most 100, which it sends and, after
// a reconnection, sends again) and samples not handed over yet.
class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    explicit MqttPublisher(const MqttSettings &settings, QObject *parent = nullptr);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Starts connecting in the background. False, with errorString(), when the settings cannot
    // work (unreadable CA file, a device id that cannot be a topic level).
    bool start(const QString &deviceId, const QByteArray &deviceInfoJson);
    // False when the sample was not taken: buffer full (counted) or the publisher has failed.
    bool publishSample(const QString &object, const QByteArray &json);
    // Says "offline", waits up to waitMs for the broker to acknowledge what is buffered, then
    // disconnects. Returns the number of samples the broker never acknowledged.
    int finish(int waitMs);

    bool isConnected() const;
    int bufferedCount() const;
    quint64 droppedCount() const;
    MqttFailure failure() const;
    QString errorString() const;

    QString deviceTopic() const;
    QString statusTopic() const { return deviceTopic() + QStringLiteral("/status"); }
    QString infoTopic() const { return deviceTopic() + QStringLiteral("/info"); }

signals:
    void connectedChanged(bool connected);
    // Login or certificate refused, broker host unknown: publishing has stopped for good.
    void failed(MqttFailure failure, const QString &message);
    // A line for the user: connection lost or back, buffer overflow and what it cost.
    void notice(const QString &message);

private:
    static void onConnect(mosquitto *client, void *self, int result);
    static void onDisconnect(mosquitto *client, void *self, int result);
    static void onPublish(mosquitto *client, void *self, int messageId);
    static void onLog(mosquitto *client, void *self, int level, const char *text);

    struct Sample
    {
        QByteArray topic;
        QByteArray json;
    };

    void runNetworkLoop();
    void failFromResult(int result);
    void handOverLocked();
    void fail(MqttFailure failure, const QString &message);
    void postNotice(const QString &message);
    QString lastLibraryError() const;
    int publishControlLocked(const QString &topic, const QByteArray &payload);

    const MqttSettings settings_;
    QString deviceId_;
    QByteArray deviceInfoJson_;
    mosquitto *client_ = nullptr;
    QThread *networkThread_ = nullptr;

    mutable QMutex mutex_;
    QWaitCondition acknowledged_;
    std::deque<Sample> waitingSamples_;
    QSet<int> handedOverSamples_;
    QSet<int> unacknowledgedControl_;
    bool connected_ = false;
    bool mayHandOver_ = false;
    bool everConnected_ = false;
    bool finishing_ = false;
    bool stopNetwork_ = false;
    QDeadlineTimer stopDeadline_;
    QWaitCondition networkWake_;
    bool unreachableReported_ = false;
    bool overflowing_ = false;
    quint64 dropped_ = 0;
    quint64 droppedAtOverflowStart_ = 0;
    MqttFailure failure_ = MqttFailure::None;
    QString errorString_;
    // Apart, because the library may log while a call into it holds mutex_.
    mutable QMutex logMutex_;
    QString lastLibraryError_;
};

Q_DECLARE_METATYPE(MqttFailure)
