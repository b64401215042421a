#pragma once

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>

// A mosquitto broker on a free loopback port, configured by the test; stop() and start() again
// keep its port, its password file and its persistence (sessions survive a restart).
class MosquittoBroker
{
public:
    struct Login
    {
        QString user;
        QString password;
    };

    enum class Transport
    {
        Plain,
        Tls
    };

    // With Tls, a certificate authority and a server certificate for 127.0.0.1 are made here.
    explicit MosquittoBroker(const QList<Login> &logins = {},
                             Transport transport = Transport::Plain);
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    bool start();
    void stop();
    quint16 port() const { return port_; }
    QString url() const;
    QString caFile() const { return directory_.filePath(QStringLiteral("ca.crt")); }
    // A certificate authority that did not sign the broker's certificate.
    QString otherCaFile() const { return directory_.filePath(QStringLiteral("other-ca.crt")); }
    QByteArray log();

private:
    bool makeCertificates();

    QTemporaryDir directory_;
    QProcess process_;
    quint16 port_ = 0;
    Transport transport_;
    QByteArray log_;
};
