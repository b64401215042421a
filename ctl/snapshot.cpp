#include "record/snapshot.h"
#include "ctl/commands.h"
#include "ctl/identity.h"
#include "record/applyplan.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QSaveFile>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}
} // namespace

void addSnapshotOptions(QCommandLineParser &parser)
{
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      tr("Write the snapshot to FILE (replaced whole) instead of standard output."),
                      tr("FILE")});
}

ExitCode readAddress(Session &session)
{
    if (session.client.unit() != 0)
        return ExitCode::Success;
    const Answer<int> address = session.client.probe();
    if (!address)
        return session.failed(address.failure, tr("read address"));
    session.client.setUnit(quint8(*address));
    return ExitCode::Success;
}

ExitCode runSnapshot(Session &session)
{
    Identity identity;
    if (const ExitCode code = connectAndIdentify(session, identity); code != ExitCode::Success)
        return code;

    Snapshot snapshot;
    snapshot.time = QDateTime::currentDateTimeUtc();
    snapshot.programName = QCoreApplication::applicationName();
    snapshot.programVersion = QCoreApplication::applicationVersion();
    snapshot.port = session.options.port;
    snapshot.baud = session.engine.baudRate();
    snapshot.address = session.client.unit();
    snapshot.protocol = QStringLiteral("modbus");
    snapshot.deviceId = identity.deviceId;
    snapshot.firmware = identity.firmware;
    for (const settings::SettingKey &key : settings::keys()) {
        if (!isSnapshotKey(key))
            continue;
        const Answer<int> value = session.client.get(key);
        if (!value)
            return session.failed(value.failure, tr("read %1").arg(key.key));
        snapshot.settings.insert(key.key,
                                 QJsonValue::fromVariant(settings::jsonValue(key, *value)));
    }
    snapshot.settings.insert(QStringLiteral("rate"), snapshot.baud);

    const QByteArray document = snapshotToJson(snapshot);
    const QString path = session.parser.value(QStringLiteral("output"));
    if (path.isEmpty())
        return session.finish(QJsonDocument::fromJson(document).object(),
                              QString::fromUtf8(document));
    // Replaced whole: a snapshot file is never left half written.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size() ||
        !file.commit()) {
        session.out.diagnostic(tr("px8107ctl: cannot write %1: %2").arg(path, file.errorString()));
        return ExitCode::OutputError;
    }
    return ExitCode::Success;
}
