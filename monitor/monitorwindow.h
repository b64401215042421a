#pragma once

#include "monitor/sampler.h"
#include "mqtt/mqttpublisher.h"
#include "record/recordfile.h"

#include <QMainWindow>
#include <memory>
#include <optional>

class LivePlot;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

// The monitor's one window: a connection bar, the chart with its view and recording controls,
// the latest readings, and a status bar of the line's figures.
class MonitorWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MonitorWindow(QWidget *parent = nullptr);
    ~MonitorWindow() override;

    // A port named on the command line, used instead of the remembered one.
    void choosePort(const QString &portName);
    // Connects as the Connect button does.
    void connectSensor();
    // Every sample taken while connected is also published to this broker.
    void setMqttSettings(const MqttSettings &settings);

    // The chart into a PNG or SVG file, by the name's suffix; false with a message otherwise.
    bool exportChart(const QString &path, QString &error);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *buildConnectionBar();
    QWidget *buildViewBar();
    QWidget *buildSidePanel();
    void buildStatusBar();
    void fillPorts();
    QString chosenPortName() const;
    QStringList chosenObjects() const;

    void toggleConnection();
    void disconnectSensor();
    void setConnectionEditable(bool editable);
    void toggleRecording();
    bool startRecording();
    void stopRecording();
    void chooseRecordFile();
    void exportChartAsked();

    void showSample(const QVector<SampleRow> &rows);
    void showReadings(const QVector<SampleRow> &rows);
    void colourReadings();
    void updateStatus();
    void portLost(const QString &message);
    void portReopened();

    void startPublisher();
    void publishRows(const QVector<SampleRow> &rows);
    void finishPublisher();
    void publisherFailed(const QString &message);
    void updateMqttStatus();

    void loadSettings();
    void saveSettings() const;
    void warn(const QString &text);

    Sampler sampler_;
    std::unique_ptr<RecordFile> record_; // while recording
    QString recordPath_;
    std::optional<MqttSettings> mqttSettings_;
    std::unique_ptr<MqttPublisher> publisher_; // from the first sample of a connection
    bool publisherRefused_ = false;            // until the next connection
    QString mqttOutcome_;                      // what the last publisher left undone

    QComboBox *portBox_;
    QPushButton *refreshPortsButton_;
    QComboBox *rateBox_;
    QSpinBox *addressBox_;
    QDoubleSpinBox *intervalBox_;
    QList<QCheckBox *> objectBoxes_;
    QPushButton *connectButton_;

    LivePlot *chart_;
    QButtonGroup *windowButtons_;
    QPushButton *followButton_;
    QList<QDoubleSpinBox *> alertBoxes_;
    QPushButton *exportButton_;
    QLineEdit *recordFileEdit_;
    QPushButton *chooseRecordFileButton_;
    QPushButton *recordButton_;
    QLabel *recordingLabel_;

    QTableWidget *readingsTable_;
    QLabel *temperatureLabel_;
    QLabel *humidityLabel_;

    QLabel *statusState_;
    QLabel *statusPort_;
    QLabel *statusRate_;
    QLabel *statusAddress_;
    QLabel *statusDeviceId_;
    QLabel *statusFirmware_;
    QLabel *statusSamples_;
    QLabel *statusTimeouts_;
    QLabel *statusBadReplies_;
    QLabel *statusMqtt_;
};
