#include "mosquittobroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

#include <unistd.h>

namespace {
constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
} // namespace

MosquittoBroker::MosquittoBroker(const QList<Login> &logins, Transport transport)
    : port_(freeLoopbackPort()), transport_(transport)
{
    QByteArray config = "listener " + QByteArray::number(port_) + " 127.0.0.1\n" +
                        "persistence true\n" + "persistence_location " +
                        QFile::encodeName(directory_.path()) + "/\n" + "log_dest stderr\n";
    // As root the broker would switch to a user that cannot read the temporary directory.
    if (geteuid() == 0)
        config += "user root\n";
    if (logins.isEmpty()) {
        config += "allow_anonymous true\n";
    } else {
        const QString passwordFile = directory_.filePath(QStringLiteral("passwords"));
        for (const Login &login : logins) {
            QStringList arguments{QStringLiteral("-b"), passwordFile, login.user, login.password};
            if (!QFile::exists(passwordFile))
                arguments.prepend(QStringLiteral("-c"));
            QProcess::execute(QStringLiteral("mosquitto_passwd"), arguments);
        }
        config += "allow_anonymous false\npassword_file " + QFile::encodeName(passwordFile) + "\n";
    }
    if (transport == Transport::Tls && makeCertificates()) {
        config += "cafile " + QFile::encodeName(caFile()) + "\ncertfile " +
                  QFile::encodeName(directory_.filePath("server.crt")) + "\nkeyfile " +
                  QFile::encodeName(directory_.filePath("server.key")) + "\n";
    }
    QFile file(directory_.filePath(QStringLiteral("mosquitto.conf")));
    if (file.open(QIODevice::WriteOnly))
        file.write(config);
}

bool MosquittoBroker::makeCertificates()
{
    const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const QList<QStringList> steps{
        QStringList{"req", "-x509", "-days", "2", "-subj", "/CN=bench test CA", "-keyout", "ca.key",
                    "-out", "ca.crt"} +
            key,
        QStringList{"req", "-x509", "-days", "2", "-subj", "/CN=other CA", "-keyout",
                    "other-ca.key", "-out", "other-ca.crt"} +
            key,
        QStringList{"req", "-subj", "/CN=127.0.0.1", "-keyout", "server.key", "-out",
                    "server.csr"} +
            key,
        {"x509", "-req", "-days", "2", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
         "-CAcreateserial", "-out", "server.crt", "-extfile", "san.ext"},
    };
    QFile san(directory_.filePath("san.ext"));
    if (!san.open(QIODevice::WriteOnly) || san.write("subjectAltName=IP:127.0.0.1\n") < 0)
        return false;
    san.close();
    for (const QStringList &arguments : steps) {
        QProcess openssl;
        openssl.setWorkingDirectory(directory_.path());
        openssl.start(QStringLiteral("openssl"), arguments);
        if (!openssl.waitForFinished() || openssl.exitCode() != 0)
            return false;
    }
    return true;
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::start()
{
    if (port_ == 0)
        return false;
    process_.setProgram(QStringLiteral("mosquitto"));
    process_.setArguments({QStringLiteral("-c"), directory_.filePath("mosquitto.conf")});
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QIODevice::ReadOnly);
    log_.clear();
    const QDeadlineTimer deadline(startTimeoutMs);
    if (!process_.waitForStarted(int(deadline.remainingTime())))
        return false;
    while (!log().contains(" running")) {
        if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return true;
}

void MosquittoBroker::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(stopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished(stopTimeoutMs);
    }
    log();
}

QString MosquittoBroker::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(transport_ == Transport::Tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"))
        .arg(port_);
}

QByteArray MosquittoBroker::log()
{
    log_ += process_.readAll();
    return log_;
}
