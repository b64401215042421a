#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>
#include <iterator>
#include <optional>

struct Limits
{
    std::optional<double> min;
    std::optional<double> max;
    bool contains(double value) const;
    QString text() const;
};

// The concentrations a profile judges, one row each.
struct Quantity
{
    const char *key;
    const char *label;
};
constexpr Quantity quantities[] = {{"pm2_5", "PM2.5"}, {"pm10", "PM10"}, {"pm100", "PM100"}};
constexpr int quantityCount = int(std::size(quantities));

// The end-of-line test of one sensor, read from a JSON profile (see docs/px8107ctl.md).
struct EolProfile
{
    QString name;
    std::optional<QString> firmwareEquals;
    std::optional<QString> firmwareAtLeast;
    bool selfCheck = false;
    std::optional<Limits> temperature;
    std::optional<Limits> humidity;

    QStringList objects; // "avg", "1" … "4"
    int warmupSamples = 0;
    int samples = 0;
    qint64 intervalMs = 1000;
    std::array<std::optional<Limits>, quantityCount> mean;
    std::array<std::optional<double>, quantityCount> spreadAbsolute;
    std::array<std::optional<double>, quantityCount> spreadRelative;
    std::array<std::optional<double>, quantityCount> noise;

    QString settingsFile; // absolute; empty when the profile applies no settings

    bool measures() const { return samples > 0 && !objects.isEmpty(); }
};

// baseDirectory resolves a relative settings file. A wrong profile names its fault in error.
bool parseEolProfile(const QByteArray &json, const QString &baseDirectory, EolProfile &profile,
                     QString &error);

struct EolMeasurements
{
    QString firmware;
    std::optional<std::array<bool, 4>> selfCheckPassed;
    std::optional<double> temperature;
    std::optional<double> humidity;
    // Per object, per quantity: the samples after warm-up.
    QMap<QString, std::array<QVector<double>, quantityCount>> samples;
};

struct CheckResult
{
    QString check;
    QString measured;
    QString limits;
    bool passed = false;
};

struct EolResult
{
    QVector<CheckResult> checks;
    bool passed() const;
};

EolResult evaluateEol(const EolProfile &profile, const EolMeasurements &measured);

// One report row per device: time, device ID, firmware, verdict, then every measured value
// under its check's name.
QByteArray eolReportHeader(const EolResult &result);
QByteArray eolReportRow(const QDateTime &time, const QString &deviceId, const QString &firmware,
                        const EolResult &result);

// Numbers in a firmware text in order ("V1.02b3" gives 1, 2, 3), compared one by one.
int compareFirmware(const QString &a, const QString &b);

double mean(const QVector<double> &values);
// Sample standard deviation; 0 for fewer than two values.
double standardDeviation(const QVector<double> &values);
