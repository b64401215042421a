#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

// A sensor's settings as one JSON document (shape in docs/px8107ctl.md). Settings are kept as
// the JSON values of their keys; device ID and firmware identify the unit and are never written.
struct Snapshot
{
    QDateTime time;
    QString programName;
    QString programVersion;
    QString port;
    int baud = 0;
    int address = 0;
    QString protocol;
    QString deviceId;
    QString firmware;
    QJsonObject settings;
};

QByteArray snapshotToJson(const Snapshot &snapshot);
// The shape only: format, version, member types. Keys and values are checked by the caller
// against the settings table. A fault is named in error.
bool parseSnapshot(const QByteArray &json, Snapshot &snapshot, QString &error);

// A setting's JSON value as it would be typed on the command line: a whole number, a name, or a
// list of unit numbers ("1,3", "none" for an empty list). Nothing for any other JSON value.
std::optional<QString> settingText(const QJsonValue &value);
