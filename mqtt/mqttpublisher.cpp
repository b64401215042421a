#include "mqtt/mqttpublisher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {
constexpr int atLeastOnce = 1;
// Keeps the library's own list short; it walks the whole list for every message handed over.
constexpr int handOverWindow = 100;
const QByteArray onlinePayload = QByteArrayLiteral("online");
const QByteArray offlinePayload = QByteArrayLiteral("offline");

void initialiseLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

constexpr int loopTimeoutMs = 200;
constexpr int disconnectTimeoutMs = 2000;

// Errors that another attempt would only repeat; the rest (refused, lost, timed out) are retried.
bool isFatal(int result)
{
    switch (result) {
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP:
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_INVAL:
    case MOSQ_ERR_NOMEM:
    case MOSQ_ERR_NOT_SUPPORTED:
    case MOSQ_ERR_AUTH:
    case MOSQ_ERR_UNKNOWN:
        return true;
    default:
        return false;
    }
}

QString resultText(int result)
{
    return result == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                    : QString::fromUtf8(mosquitto_strerror(result));
}

bool isTopicLevel(const QString &level)
{
    return !level.isEmpty() && !level.contains(QLatin1Char('/')) &&
           !level.contains(QLatin1Char('+')) && !level.contains(QLatin1Char('#'));
}
} // namespace

MqttPublisher::MqttPublisher(const MqttSettings &settings, QObject *parent)
    : QObject(parent), settings_(settings)
{
    qRegisterMetaType<MqttFailure>();
    initialiseLibraryOnce();
}

MqttPublisher::~MqttPublisher()
{
    if (networkThread_ && networkThread_->isRunning())
        finish(0);
    if (client_)
        mosquitto_destroy(client_);
}

QString MqttPublisher::deviceTopic() const
{
    QString prefix = settings_.topicPrefix;
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    return prefix + QLatin1Char('/') + deviceId_;
}

bool MqttPublisher::start(const QString &deviceId, const QByteArray &deviceInfoJson)
{
    if (!isTopicLevel(deviceId)) {
        errorString_ =
            tr("device id \"%1\" cannot be a topic level (empty, or holds / + #)").arg(deviceId);
        return false;
    }
    deviceId_ = deviceId;
    deviceInfoJson_ = deviceInfoJson;

    QString clientId = settings_.clientId;
    if (clientId.isEmpty()) {
        const QString program = QCoreApplication::applicationName().isEmpty()
                                    ? QStringLiteral("px8107")
                                    : QCoreApplication::applicationName();
        clientId = QStringLiteral("%1-%2-%3")
                       .arg(program, deviceId)
                       .arg(QCoreApplication::applicationPid());
    }
    client_ = mosquitto_new(clientId.toUtf8().constData(), true, this);
    if (!client_) {
        errorString_ = tr("MQTT client could not be created (client id \"%1\")").arg(clientId);
        return false;
    }
    mosquitto_threaded_set(client_, true);
    mosquitto_connect_callback_set(client_, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(client_, &MqttPublisher::onDisconnect);
    mosquitto_publish_callback_set(client_, &MqttPublisher::onPublish);
    mosquitto_log_callback_set(client_, &MqttPublisher::onLog);

    const QByteArray statusTopicUtf8 = statusTopic().toUtf8();
    if (mosquitto_will_set(client_, statusTopicUtf8.constData(), offlinePayload.size(),
                           offlinePayload.constData(), atLeastOnce, true) != MOSQ_ERR_SUCCESS) {
        errorString_ = tr("topic \"%1\" is not a valid MQTT topic").arg(statusTopic());
        return false;
    }
    if (!settings_.credentials.user.isEmpty()) {
        mosquitto_username_pw_set(client_, settings_.credentials.user.toUtf8().constData(),
                                  settings_.credentials.password.toUtf8().constData());
    }
    if (settings_.endpoint.tls) {
        if (settings_.caFile.isEmpty()) {
            mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            const QFileInfo ca(settings_.caFile);
            if (!ca.isFile() || !ca.isReadable()) {
                errorString_ = tr("CA file %1 cannot be read").arg(settings_.caFile);
                return false;
            }
            if (mosquitto_tls_set(client_, QFile::encodeName(settings_.caFile).constData(), nullptr,
                                  nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
                errorString_ = tr("CA file %1 is not usable").arg(settings_.caFile);
                return false;
            }
        }
    }

    networkThread_ = QThread::create([this] { runNetworkLoop(); });
    networkThread_->setParent(this);
    networkThread_->start();
    return true;
}

// The library's own loop sleeps through its reconnection pause even when asked to stop; this one
// waits on a condition that finish() wakes.
void MqttPublisher::runNetworkLoop()
{
    const MqttEndpoint &endpoint = settings_.endpoint;
    int result = mosquitto_connect_async(client_, endpoint.host.toUtf8().constData(), endpoint.port,
                                         settings_.keepAliveSeconds);
    int pauseSeconds = 1;
    for (;;) {
        QMutexLocker lock(&mutex_);
        if (stopNetwork_ && (!connected_ || stopDeadline_.hasExpired()))
            return;
        if (failure_ != MqttFailure::None)
            return;
        if (connected_)
            pauseSeconds = 1;
        lock.unlock();
        if (result == MOSQ_ERR_SUCCESS) {
            result = mosquitto_loop(client_, loopTimeoutMs, 1);
            continue;
        }
        if (isFatal(result)) {
            failFromResult(result);
            return;
        }
        const QString reason = resultText(result);
        lock.relock();
        if (!unreachableReported_) {
            unreachableReported_ = true;
            postNotice(tr("MQTT: cannot reach %1 (%2); retrying, samples wait in the buffer")
                           .arg(endpoint.displayName(), reason));
        }
        if (!stopNetwork_)
            networkWake_.wait(&mutex_, QDeadlineTimer(pauseSeconds * 1000));
        if (stopNetwork_)
            return;
        lock.unlock();
        pauseSeconds = qMin(pauseSeconds * 2, qMax(1, settings_.reconnectMaxDelaySeconds));
        result = mosquitto_reconnect_async(client_);
    }
}

void MqttPublisher::failFromResult(int result)
{
    const QString broker = settings_.endpoint.displayName();
    switch (result) {
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        fail(MqttFailure::CertificateRefused,
             tr("MQTT: the TLS connection to %1 failed: %2").arg(broker, lastLibraryError()));
        return;
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP:
        fail(MqttFailure::HostNotFound,
             tr("MQTT: broker host %1 not found").arg(settings_.endpoint.host));
        return;
    default:
        fail(MqttFailure::Other,
             tr("MQTT: cannot use the connection to %1: %2").arg(broker, resultText(result)));
    }
}

void MqttPublisher::onConnect(mosquitto *client, void *self, int result)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    const QString broker = publisher->settings_.endpoint.displayName();
    if (result != 0) {
        publisher->fail(MqttFailure::BrokerRefused,
                        tr("MQTT: %1 refused the connection: %2")
                            .arg(broker, QString::fromUtf8(mosquitto_connack_string(result))));
        mosquitto_disconnect(client);
        return;
    }
    QMutexLocker lock(&publisher->mutex_);
    // Back while finishing: finish() sends no second "offline" and a clean end leaves no will.
    publisher->publishControlLocked(publisher->statusTopic(),
                                    publisher->finishing_ ? offlinePayload : onlinePayload);
    publisher->publishControlLocked(publisher->infoTopic(), publisher->deviceInfoJson_);
    publisher->connected_ = true;
    publisher->unreachableReported_ = false;
    const bool again = publisher->everConnected_;
    publisher->everConnected_ = true;
    const int waiting =
        int(publisher->waitingSamples_.size()) + publisher->handedOverSamples_.size();
    // Samples the library still holds are sent again after this callback returns; new ones
    // handed over now would overtake them.
    publisher->mayHandOver_ = publisher->handedOverSamples_.isEmpty();
    publisher->handOverLocked();
    lock.unlock();
    publisher->postNotice(
        again
            ? tr("MQTT: connected to %1 again; %2 buffered samples follow").arg(broker).arg(waiting)
            : tr("MQTT: connected to %1").arg(broker));
    QMetaObject::invokeMethod(
        publisher, [publisher] { emit publisher->connectedChanged(true); }, Qt::QueuedConnection);
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int result)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    QMutexLocker lock(&publisher->mutex_);
    const bool wasConnected = publisher->connected_;
    publisher->connected_ = false;
    publisher->mayHandOver_ = false;
    const bool expected = publisher->finishing_ || publisher->failure_ != MqttFailure::None;
    // The loss is reported below; failed attempts to reconnect need no line each.
    if (wasConnected)
        publisher->unreachableReported_ = true;
    lock.unlock();
    if (!wasConnected)
        return;
    if (!expected && result != 0) {
        publisher->postNotice(
            tr("MQTT: connection to %1 lost; samples wait in the buffer (up to %2)")
                .arg(publisher->settings_.endpoint.displayName())
                .arg(publisher->settings_.bufferCapacity));
    }
    QMetaObject::invokeMethod(
        publisher, [publisher] { emit publisher->connectedChanged(false); }, Qt::QueuedConnection);
}

void MqttPublisher::onPublish(mosquitto *, void *self, int messageId)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    QMutexLocker lock(&publisher->mutex_);
    if (publisher->handedOverSamples_.remove(messageId)) {
        if (publisher->connected_ && publisher->handedOverSamples_.isEmpty())
            publisher->mayHandOver_ = true;
        publisher->handOverLocked();
    } else {
        publisher->unacknowledgedControl_.remove(messageId);
    }
    publisher->acknowledged_.wakeAll();
}

void MqttPublisher::onLog(mosquitto *, void *self, int level, const char *text)
{
    if (!(level & MOSQ_LOG_ERR))
        return;
    auto *publisher = static_cast<MqttPublisher *>(self);
    QMutexLocker lock(&publisher->logMutex_);
    publisher->lastLibraryError_ = QString::fromUtf8(text);
}

// With mutex_ held, so the acknowledgement cannot be handled before the id is kept.
int MqttPublisher::publishControlLocked(const QString &topic, const QByteArray &payload)
{
    int messageId = 0;
    const int result = mosquitto_publish(client_, &messageId, topic.toUtf8().constData(),
                                         payload.size(), payload.constData(), atLeastOnce, true);
    if (result == MOSQ_ERR_SUCCESS || result == MOSQ_ERR_NO_CONN)
        unacknowledgedControl_.insert(messageId);
    return result;
}

bool MqttPublisher::publishSample(const QString &object, const QByteArray &json)
{
    QMutexLocker lock(&mutex_);
    if (!client_ || failure_ != MqttFailure::None || finishing_)
        return false;
    if (int(waitingSamples_.size()) + handedOverSamples_.size() >= settings_.bufferCapacity) {
        ++dropped_;
        if (!overflowing_) {
            overflowing_ = true;
            droppedAtOverflowStart_ = dropped_ - 1;
            postNotice(tr("MQTT buffer full (%1 samples waiting for the broker): new samples are "
                          "dropped and counted")
                           .arg(settings_.bufferCapacity));
        }
        return false;
    }
    if (overflowing_) {
        overflowing_ = false;
        postNotice(tr("MQTT buffer has room again: %1 samples were dropped while it was full "
                      "(%2 in all)")
                       .arg(dropped_ - droppedAtOverflowStart_)
                       .arg(dropped_));
    }
    waitingSamples_.push_back({(deviceTopic() + QLatin1Char('/') + object).toUtf8(), json});
    handOverLocked();
    return true;
}

// Called with mutex_ held, so an acknowledgement cannot be handled before its id is kept.
void MqttPublisher::handOverLocked()
{
    while (mayHandOver_ && !waitingSamples_.empty() && handedOverSamples_.size() < handOverWindow) {
        const Sample &sample = waitingSamples_.front();
        int messageId = 0;
        // A QoS 1 message the library could not send at once stays with it and goes out later.
        const int result =
            mosquitto_publish(client_, &messageId, sample.topic.constData(), sample.json.size(),
                              sample.json.constData(), atLeastOnce, false);
        if (result == MOSQ_ERR_SUCCESS || result == MOSQ_ERR_NO_CONN) {
            handedOverSamples_.insert(messageId);
        } else {
            ++dropped_;
            postNotice(tr("MQTT: sample for topic %1 not published: %2")
                           .arg(QString::fromUtf8(sample.topic),
                                QString::fromUtf8(mosquitto_strerror(result))));
        }
        waitingSamples_.pop_front();
    }
}

int MqttPublisher::finish(int waitMs)
{
    QMutexLocker lock(&mutex_);
    if (!networkThread_)
        return int(waitingSamples_.size());
    finishing_ = true;
    if (connected_)
        publishControlLocked(statusTopic(), offlinePayload);
    const QDeadlineTimer deadline(waitMs);
    while ((!waitingSamples_.empty() || !handedOverSamples_.isEmpty() ||
            !unacknowledgedControl_.isEmpty()) &&
           failure_ == MqttFailure::None) {
        if (!acknowledged_.wait(&mutex_, deadline))
            break;
    }
    const int undelivered = int(waitingSamples_.size()) + handedOverSamples_.size();
    stopNetwork_ = true;
    stopDeadline_ = QDeadlineTimer(disconnectTimeoutMs);
    networkWake_.wakeAll();
    lock.unlock();
    mosquitto_disconnect(client_);
    networkThread_->wait();
    return undelivered;
}

void MqttPublisher::fail(MqttFailure failure, const QString &message)
{
    QMutexLocker lock(&mutex_);
    if (failure_ != MqttFailure::None)
        return;
    failure_ = failure;
    errorString_ = message;
    acknowledged_.wakeAll();
    lock.unlock();
    QMetaObject::invokeMethod(
        this, [this, failure, message] { emit failed(failure, message); }, Qt::QueuedConnection);
}

void MqttPublisher::postNotice(const QString &message)
{
    QMetaObject::invokeMethod(
        this, [this, message] { emit notice(message); }, Qt::QueuedConnection);
}

QString MqttPublisher::lastLibraryError() const
{
    QMutexLocker lock(&logMutex_);
    return lastLibraryError_;
}

bool MqttPublisher::isConnected() const
{
    QMutexLocker lock(&mutex_);
    return connected_;
}

int MqttPublisher::bufferedCount() const
{
    QMutexLocker lock(&mutex_);
    return int(waitingSamples_.size()) + handedOverSamples_.size();
}

quint64 MqttPublisher::droppedCount() const
{
    QMutexLocker lock(&mutex_);
    return dropped_;
}

MqttFailure MqttPublisher::failure() const
{
    QMutexLocker lock(&mutex_);
    return failure_;
}

QString MqttPublisher::errorString() const
{
    QMutexLocker lock(&mutex_);
    return errorString_;
}
