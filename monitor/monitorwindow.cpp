#include "monitorwindow.h"

#include "monitor/liveplot.h"
#include "replies/baudprobe.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr qint32 defaultRate = 9600;
constexpr int maximumAddress = 247;
constexpr int brokerFinishWaitMs = 3000;
const QColor alertBackground(0xff, 0xc8, 0xc8);

// The time-window buttons, in the order they are shown.
struct TimeWindowButton
{
    double seconds;
    const char *label;
    const char *objectName;
};
constexpr TimeWindowButton timeWindowButtons[] = {
    {LivePlot::lastFiveMinutes, QT_TRANSLATE_NOOP("MonitorWindow", "5 min"), "window5min"},
    {LivePlot::lastHour, QT_TRANSLATE_NOOP("MonitorWindow", "1 h"), "window1h"},
    {LivePlot::lastDay, QT_TRANSLATE_NOOP("MonitorWindow", "24 h"), "window24h"},
    {LivePlot::everything, QT_TRANSLATE_NOOP("MonitorWindow", "All"), "windowAll"},
};

// One row per value of the readings table, in column order.
struct ReadingColumn
{
    SampleSeries::Value value;
    std::optional<double> SampleRow::*field;
    const char *name;
    const char *alertObjectName;
};
constexpr ReadingColumn readingColumns[] = {
    {SampleSeries::Value::Pm25, &SampleRow::pm25, "PM2.5", "alertPm25"},
    {SampleSeries::Value::Pm10, &SampleRow::pm10, "PM10", "alertPm10"},
    {SampleSeries::Value::Pm100, &SampleRow::pm100, "PM100", "alertPm100"},
};

namespace key {
const QString port = QStringLiteral("connection/port");
const QString rate = QStringLiteral("connection/rate");
const QString address = QStringLiteral("connection/address");
const QString objects = QStringLiteral("sampling/objects");
const QString intervalMs = QStringLiteral("sampling/intervalMs");
const QString alertLevels = QStringLiteral("view/alertLevels");
const QString timeWindow = QStringLiteral("view/timeWindowSeconds");
const QString recordFile = QStringLiteral("record/file");
} // namespace key

QString objectTitle(const QString &object)
{
    return object == QLatin1String("avg") ? MonitorWindow::tr("Average")
                                          : MonitorWindow::tr("Unit %1").arg(object);
}

QString valueText(const std::optional<double> &value)
{
    return value ? QString::number(*value, 'f', 1) : QStringLiteral("–");
}

} // namespace

MonitorWindow::MonitorWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(tr("PX8107 monitor"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(buildConnectionBar());
    layout->addWidget(buildViewBar());

    chart_ = new LivePlot(central);
    chart_->setObjectName(QStringLiteral("chart"));
    auto *splitter = new QSplitter(Qt::Horizontal, central);
    splitter->addWidget(chart_);
    splitter->addWidget(buildSidePanel());
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    layout->addWidget(splitter, 1);
    setCentralWidget(central);
    buildStatusBar();

    connect(&sampler_, &Sampler::sampled, this, &MonitorWindow::showSample);
    connect(&sampler_, &Sampler::identified, this, &MonitorWindow::updateStatus);
    connect(&sampler_, &Sampler::portLost, this, &MonitorWindow::portLost);
    connect(&sampler_, &Sampler::portReopened, this, &MonitorWindow::portReopened);
    connect(chart_, &LivePlot::followingChanged, followButton_, &QPushButton::setChecked);

    loadSettings();
    updateStatus();
    resize(1280, 720);
}

MonitorWindow::~MonitorWindow() = default;

QWidget *MonitorWindow::buildConnectionBar()
{
    auto *bar = new QGroupBox(tr("Connection"), this);
    auto *layout = new QHBoxLayout(bar);

    portBox_ = new QComboBox(bar);
    portBox_->setObjectName(QStringLiteral("portBox"));
    portBox_->setEditable(true);
    portBox_->setInsertPolicy(QComboBox::NoInsert);
    portBox_->setMinimumContentsLength(18);
    portBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    portBox_->setToolTip(tr("A port from the list, or the path of one"));
    refreshPortsButton_ = new QPushButton(tr("Refresh"), bar);
    refreshPortsButton_->setObjectName(QStringLiteral("refreshPortsButton"));
    connect(refreshPortsButton_, &QPushButton::clicked, this, &MonitorWindow::fillPorts);

    rateBox_ = new QComboBox(bar);
    rateBox_->setObjectName(QStringLiteral("rateBox"));
    for (const baudprobe::RateRow &row : baudprobe::rates)
        if (row.message && rateBox_->findData(row.baud) < 0)
            rateBox_->addItem(QString::number(row.baud), row.baud);
    rateBox_->model()->sort(0);
    addressBox_ = new QSpinBox(bar);
    addressBox_->setObjectName(QStringLiteral("addressBox"));
    addressBox_->setRange(1, maximumAddress);
    intervalBox_ = new QDoubleSpinBox(bar);
    intervalBox_->setObjectName(QStringLiteral("intervalBox"));
    intervalBox_->setRange(double(Sampler::minimumIntervalMs) / 1000,
                           double(Sampler::maximumIntervalMs) / 1000);
    intervalBox_->setDecimals(1);
    intervalBox_->setSingleStep(0.1);
    intervalBox_->setSuffix(tr(" s"));

    layout->addWidget(new QLabel(tr("Port:"), bar));
    layout->addWidget(portBox_, 1);
    layout->addWidget(refreshPortsButton_);
    layout->addWidget(new QLabel(tr("Rate:"), bar));
    layout->addWidget(rateBox_);
    layout->addWidget(new QLabel(tr("Address:"), bar));
    layout->addWidget(addressBox_);
    layout->addWidget(new QLabel(tr("Interval:"), bar));
    layout->addWidget(intervalBox_);
    connectButton_ = new QPushButton(tr("Connect"), bar);
    connectButton_->setObjectName(QStringLiteral("connectButton"));
    connect(connectButton_, &QPushButton::clicked, this, &MonitorWindow::toggleConnection);
    layout->addWidget(connectButton_);
    fillPorts();
    return bar;
}

QWidget *MonitorWindow::buildViewBar()
{
    auto *bar = new QWidget(this);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);

    layout->addWidget(new QLabel(tr("Objects:"), bar));
    for (const QString &object : SampleSeries::objectNames()) {
        auto *box = new QCheckBox(objectTitle(object), bar);
        box->setObjectName(QStringLiteral("object_") + object);
        connect(box, &QCheckBox::toggled, this, [this] { chart_->setObjects(chosenObjects()); });
        layout->addWidget(box);
        objectBoxes_.append(box);
    }
    layout->addSpacing(12);
    windowButtons_ = new QButtonGroup(bar);
    for (const TimeWindowButton &row : timeWindowButtons) {
        auto *button = new QPushButton(tr(row.label), bar);
        button->setObjectName(QLatin1String(row.objectName));
        button->setCheckable(true);
        button->setChecked(row.seconds == LivePlot::lastHour);
        const double seconds = row.seconds;
        connect(button, &QPushButton::clicked, this,
                [this, seconds] { chart_->setTimeWindow(seconds); });
        windowButtons_->addButton(button);
        layout->addWidget(button);
    }
    followButton_ = new QPushButton(tr("Follow"), bar);
    followButton_->setObjectName(QStringLiteral("followButton"));
    followButton_->setCheckable(true);
    followButton_->setChecked(true);
    followButton_->setToolTip(tr("Keep the newest sample in view; zooming or dragging stops it"));
    connect(followButton_, &QPushButton::clicked, this,
            [this](bool checked) { chart_->setFollowing(checked); });
    layout->addWidget(followButton_);

    layout->addStretch(1);
    return bar;
}

QWidget *MonitorWindow::buildSidePanel()
{
    auto *panel = new QGroupBox(tr("Latest readings (µg/m³)"), this);
    auto *layout = new QVBoxLayout(panel);
    readingsTable_ =
        new QTableWidget(SampleSeries::objectCount, int(std::size(readingColumns)), panel);
    readingsTable_->setObjectName(QStringLiteral("readingsTable"));
    readingsTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    readingsTable_->setSelectionMode(QAbstractItemView::NoSelection);
    readingsTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    QStringList headers;
    for (const ReadingColumn &column : readingColumns)
        headers << QLatin1String(column.name);
    readingsTable_->setHorizontalHeaderLabels(headers);
    QStringList objects;
    for (const QString &object : SampleSeries::objectNames())
        objects << objectTitle(object);
    readingsTable_->setVerticalHeaderLabels(objects);
    for (int r = 0; r < readingsTable_->rowCount(); ++r)
        for (int c = 0; c < readingsTable_->columnCount(); ++c)
            readingsTable_->setItem(r, c, new QTableWidgetItem(QStringLiteral("–")));
    readingsTable_->setMinimumWidth(240);
    readingsTable_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    layout->addWidget(readingsTable_);

    auto *environment = new QFormLayout;
    temperatureLabel_ = new QLabel(QStringLiteral("–"), panel);
    temperatureLabel_->setObjectName(QStringLiteral("temperatureLabel"));
    humidityLabel_ = new QLabel(QStringLiteral("–"), panel);
    humidityLabel_->setObjectName(QStringLiteral("humidityLabel"));
    environment->addRow(tr("Temperature (°C):"), temperatureLabel_);
    environment->addRow(tr("Humidity (%RH):"), humidityLabel_);
    layout->addLayout(environment);

    auto *alerts = new QGroupBox(tr("Alert above"), panel);
    auto *alertLayout = new QFormLayout(alerts);
    for (const ReadingColumn &column : readingColumns) {
        auto *box = new QDoubleSpinBox(alerts);
        box->setObjectName(QLatin1String(column.alertObjectName));
        box->setRange(0, 9999);
        box->setDecimals(1);
        box->setSpecialValueText(tr("off"));
        box->setToolTip(tr("Readings above this level are shown in red; 0 for none"));
        const SampleSeries::Value value = column.value;
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [this, value](double level) {
                    chart_->setAlertLevel(value, level);
                    colourReadings();
                });
        alertBoxes_.append(box);
        alertLayout->addRow(QLatin1String(column.name) + QLatin1Char(':'), box);
    }
    layout->addWidget(alerts);

    auto *record = new QGroupBox(tr("Record"), panel);
    auto *recordLayout = new QGridLayout(record);
    recordFileEdit_ = new QLineEdit(record);
    recordFileEdit_->setObjectName(QStringLiteral("recordFileEdit"));
    recordFileEdit_->setPlaceholderText(tr("CSV file to record to"));
    chooseRecordFileButton_ = new QPushButton(tr("Choose…"), record);
    chooseRecordFileButton_->setObjectName(QStringLiteral("chooseRecordFileButton"));
    connect(chooseRecordFileButton_, &QPushButton::clicked, this, &MonitorWindow::chooseRecordFile);
    recordButton_ = new QPushButton(tr("Record"), record);
    recordButton_->setObjectName(QStringLiteral("recordButton"));
    connect(recordButton_, &QPushButton::clicked, this, &MonitorWindow::toggleRecording);
    recordingLabel_ = new QLabel(tr("Not recording"), record);
    recordingLabel_->setObjectName(QStringLiteral("recordingLabel"));
    recordingLabel_->setWordWrap(true);
    recordLayout->addWidget(recordFileEdit_, 0, 0);
    recordLayout->addWidget(chooseRecordFileButton_, 0, 1);
    recordLayout->addWidget(recordButton_, 1, 0, 1, 2);
    recordLayout->addWidget(recordingLabel_, 2, 0, 1, 2);
    layout->addWidget(record);

    exportButton_ = new QPushButton(tr("Export chart…"), panel);
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    exportButton_->setToolTip(tr("Save the chart as PNG or SVG"));
    connect(exportButton_, &QPushButton::clicked, this, &MonitorWindow::exportChartAsked);
    layout->addWidget(exportButton_);
    return panel;
}

void MonitorWindow::buildStatusBar()
{
    const auto add = [this](QLabel *&label, const char *name) {
        label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        statusBar()->addPermanentWidget(label);
    };
    statusState_ = new QLabel(this);
    statusState_->setObjectName(QStringLiteral("statusState"));
    // Long messages and paths are cut rather than widening the window past a small screen.
    statusState_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(statusState_, 1);
    add(statusPort_, "statusPort");
    statusPort_->setMaximumWidth(260);
    add(statusRate_, "statusRate");
    add(statusAddress_, "statusAddress");
    add(statusDeviceId_, "statusDeviceId");
    add(statusFirmware_, "statusFirmware");
    add(statusSamples_, "statusSamples");
    add(statusTimeouts_, "statusTimeouts");
    add(statusBadReplies_, "statusBadReplies");
    add(statusMqtt_, "statusMqtt");
    statusMqtt_->hide();
}

void MonitorWindow::fillPorts()
{
    const QString typed = portBox_->currentText();
    portBox_->clear();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        QStringList about;
        for (const QString &part : {info.description(), info.manufacturer()})
            if (!part.isEmpty() && !about.contains(part))
                about << part;
        const QString text = about.isEmpty()
                                 ? info.systemLocation()
                                 : QStringLiteral("%1 – %2").arg(info.systemLocation(),
                                                                 about.join(QStringLiteral(", ")));
        portBox_->addItem(text, info.systemLocation());
    }
    portBox_->setCurrentText(typed);
}

QString MonitorWindow::chosenPortName() const
{
    const int index = portBox_->findText(portBox_->currentText());
    if (index >= 0)
        return portBox_->itemData(index).toString();
    return portBox_->currentText().trimmed();
}

QStringList MonitorWindow::chosenObjects() const
{
    QStringList objects;
    for (int i = 0; i < objectBoxes_.size(); ++i)
        if (objectBoxes_[i]->isChecked())
            objects << SampleSeries::objectNames().at(i);
    return objects;
}

void MonitorWindow::toggleConnection()
{
    if (sampler_.isRunning())
        disconnectSensor();
    else
        connectSensor();
}

void MonitorWindow::choosePort(const QString &portName)
{
    const int listed = portBox_->findData(portName);
    if (listed >= 0)
        portBox_->setCurrentIndex(listed);
    else
        portBox_->setCurrentText(portName);
}

void MonitorWindow::connectSensor()
{
    SamplerSettings settings;
    settings.portName = chosenPortName();
    settings.baudRate = rateBox_->currentData().toInt();
    settings.address = quint8(addressBox_->value());
    settings.objects = chosenObjects();
    settings.intervalMs = qRound64(intervalBox_->value() * 1000);
    if (settings.portName.isEmpty()) {
        warn(tr("Choose a port, or type the path of one."));
        return;
    }
    if (settings.objects.isEmpty()) {
        warn(tr("Choose at least one object to sample."));
        return;
    }
    finishPublisher();
    QString error;
    if (!sampler_.start(settings, error)) {
        warn(tr("Cannot open %1: %2").arg(settings.portName, error));
        return;
    }
    if (!chart_->series().isEmpty())
        chart_->appendGap(double(QDateTime::currentMSecsSinceEpoch()) / 1000);
    publisherRefused_ = false;
    mqttOutcome_.clear();
    saveSettings();
    setConnectionEditable(false);
    connectButton_->setText(tr("Disconnect"));
    statusState_->setText(tr("Sampling"));
    updateStatus();
}

void MonitorWindow::disconnectSensor()
{
    sampler_.stop();
    finishPublisher();
    setConnectionEditable(true);
    connectButton_->setText(tr("Connect"));
    statusState_->setText(tr("Disconnected"));
    updateStatus();
}

void MonitorWindow::setConnectionEditable(bool editable)
{
    for (QWidget *widget : std::initializer_list<QWidget *>{portBox_, refreshPortsButton_, rateBox_,
                                                            addressBox_, intervalBox_})
        widget->setEnabled(editable);
    for (QCheckBox *box : objectBoxes_)
        box->setEnabled(editable);
}

void MonitorWindow::showSample(const QVector<SampleRow> &rows)
{
    chart_->append(rows);
    showReadings(rows);
    if (record_) {
        for (const SampleRow &row : rows) {
            QString error;
            if (!record_->writeLine(csvRow(row, true), error)) {
                stopRecording();
                warn(tr("Recording stopped: %1").arg(error));
                break;
            }
        }
    }
    publishRows(rows);
    updateStatus();
}

void MonitorWindow::showReadings(const QVector<SampleRow> &rows)
{
    for (int r = 0; r < readingsTable_->rowCount(); ++r)
        readingsTable_->setRowHidden(
            r, !sampler_.settings().objects.contains(SampleSeries::objectNames().at(r)));
    for (const SampleRow &row : rows) {
        const int r = SampleSeries::objectIndex(row.object);
        if (r < 0)
            continue;
        for (int c = 0; c < int(std::size(readingColumns)); ++c) {
            QTableWidgetItem *item = readingsTable_->item(r, c);
            const std::optional<double> &value = row.*readingColumns[c].field;
            item->setText(valueText(value));
            item->setData(Qt::UserRole, value ? QVariant(*value) : QVariant());
        }
    }
    if (!rows.isEmpty()) {
        temperatureLabel_->setText(valueText(rows.constFirst().temperature));
        humidityLabel_->setText(valueText(rows.constFirst().humidity));
    }
    colourReadings();
}

void MonitorWindow::colourReadings()
{
    for (int c = 0; c < int(std::size(readingColumns)); ++c) {
        const double level = alertBoxes_[c]->value();
        for (int r = 0; r < readingsTable_->rowCount(); ++r) {
            QTableWidgetItem *item = readingsTable_->item(r, c);
            const QVariant value = item->data(Qt::UserRole);
            const bool above = level > 0 && value.isValid() && value.toDouble() > level;
            item->setData(Qt::BackgroundRole, above ? QVariant(alertBackground) : QVariant());
        }
    }
}

void MonitorWindow::updateStatus()
{
    const bool running = sampler_.isRunning();
    const SamplerSettings &settings = sampler_.settings();
    const Sampler::Counters &counters = sampler_.counters();
    const QString none = QStringLiteral("–");
    statusPort_->setText(tr("Port: %1").arg(running ? settings.portName : none));
    statusRate_->setText(tr("Rate: %1").arg(running ? QString::number(settings.baudRate) : none));
    statusAddress_->setText(
        tr("Address: %1").arg(running ? QString::number(settings.address) : none));
    statusDeviceId_->setText(
        tr("Device ID: %1").arg(sampler_.deviceId().isEmpty() ? none : sampler_.deviceId()));
    statusFirmware_->setText(
        tr("Firmware: %1").arg(sampler_.firmware().isEmpty() ? none : sampler_.firmware()));
    statusSamples_->setText(tr("Samples: %1").arg(counters.samples));
    statusTimeouts_->setText(tr("Timeouts: %1").arg(counters.timeouts));
    statusBadReplies_->setText(tr("Bad replies: %1").arg(counters.badReplies));
    if (statusState_->text().isEmpty())
        statusState_->setText(tr("Disconnected"));
    updateMqttStatus();
}

void MonitorWindow::setMqttSettings(const MqttSettings &settings)
{
    mqttSettings_ = settings;
    updateMqttStatus();
}

// Started at the first sample, when the device ID has been read or has failed; the topic needs a
// device level, so without an ID the sensor is named by its address.
void MonitorWindow::startPublisher()
{
    const SamplerSettings &settings = sampler_.settings();
    const QString deviceId = sampler_.deviceId();
    QJsonObject info{
        {"device_id", deviceId},
        {"address", int(settings.address)},
        {"port", settings.portName},
        {"baud", settings.baudRate},
        {"program", QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                                QCoreApplication::applicationVersion())}};
    if (!sampler_.firmware().isEmpty())
        info.insert("firmware", sampler_.firmware());
    auto publisher = std::make_unique<MqttPublisher>(*mqttSettings_);
    connect(publisher.get(), &MqttPublisher::connectedChanged, this,
            &MonitorWindow::updateMqttStatus);
    connect(publisher.get(), &MqttPublisher::notice, this, [this](const QString &text) {
        statusMqtt_->setToolTip(text);
        updateMqttStatus();
    });
    connect(publisher.get(), &MqttPublisher::failed, this,
            [this](MqttFailure, const QString &message) { publisherFailed(message); });
    const QString topicDevice =
        deviceId.isEmpty() ? QStringLiteral("address-%1").arg(settings.address) : deviceId;
    if (!publisher->start(topicDevice, QJsonDocument(info).toJson(QJsonDocument::Compact))) {
        publisherFailed(publisher->errorString());
        return;
    }
    publisher_ = std::move(publisher);
}

void MonitorWindow::publishRows(const QVector<SampleRow> &rows)
{
    if (!mqttSettings_ || publisherRefused_)
        return;
    if (!publisher_)
        startPublisher();
    if (!publisher_)
        return;
    for (const SampleRow &row : rows)
        publisher_->publishSample(row.object, jsonLine(row, true).trimmed());
}

void MonitorWindow::finishPublisher()
{
    if (!publisher_)
        return;
    publisher_->disconnect(this);
    const bool failed = publisher_->failure() != MqttFailure::None;
    const int undelivered = publisher_->finish(failed ? 0 : brokerFinishWaitMs);
    QStringList lost;
    if (publisher_->droppedCount() > 0)
        lost << tr("%1 samples dropped while the buffer was full").arg(publisher_->droppedCount());
    if (undelivered > 0 && !failed)
        lost << tr("%1 samples not delivered to the broker").arg(undelivered);
    if (!failed)
        mqttOutcome_ = lost.isEmpty() ? tr("MQTT: every sample delivered")
                                      : tr("MQTT: %1").arg(lost.join(QStringLiteral("; ")));
    publisher_.reset();
    updateMqttStatus();
}

// Publishing stops for this connection; sampling and recording go on.
void MonitorWindow::publisherFailed(const QString &message)
{
    if (publisherRefused_)
        return;
    publisherRefused_ = true;
    mqttOutcome_ = tr("MQTT: refused");
    statusMqtt_->setToolTip(message);
    statusState_->setText(tr("MQTT publishing stopped: %1").arg(message));
    updateMqttStatus();
    auto *box =
        new QMessageBox(QMessageBox::Warning, tr("PX8107 monitor"),
                        tr("MQTT publishing stopped: %1").arg(message), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("mqttFailureBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MonitorWindow::updateMqttStatus()
{
    statusMqtt_->setVisible(mqttSettings_.has_value());
    if (!publisher_ || publisherRefused_) {
        statusMqtt_->setText(mqttOutcome_.isEmpty() ? tr("MQTT: waiting for the first sample")
                                                    : mqttOutcome_);
        return;
    }
    statusMqtt_->setText(tr("MQTT: %1, %2 buffered, %3 dropped")
                             .arg(publisher_->isConnected() ? tr("connected") : tr("not connected"))
                             .arg(publisher_->bufferedCount())
                             .arg(publisher_->droppedCount()));
}

void MonitorWindow::portLost(const QString &message)
{
    statusState_->setText(tr("Port lost (%1); reopening every second").arg(message));
}

void MonitorWindow::portReopened()
{
    statusState_->setText(tr("Sampling"));
}

void MonitorWindow::toggleRecording()
{
    if (record_)
        stopRecording();
    else
        startRecording();
}

bool MonitorWindow::startRecording()
{
    const QString path = recordFileEdit_->text().trimmed();
    if (path.isEmpty()) {
        warn(tr("Choose a file to record to."));
        return false;
    }
    QString error;
    auto file = std::make_unique<RecordFile>();
    if (!file->open(path, csvHeader(true), error)) {
        warn(tr("Cannot record to %1: %2").arg(path, error));
        return false;
    }
    record_ = std::move(file);
    recordPath_ = path;
    recordButton_->setText(tr("Stop recording"));
    recordFileEdit_->setEnabled(false);
    chooseRecordFileButton_->setEnabled(false);
    recordingLabel_->setText(tr("Recording to %1").arg(QFileInfo(path).fileName()));
    recordingLabel_->setToolTip(QFileInfo(path).absoluteFilePath());
    QSettings().setValue(key::recordFile, path);
    return true;
}

void MonitorWindow::stopRecording()
{
    record_.reset();
    recordButton_->setText(tr("Record"));
    recordFileEdit_->setEnabled(true);
    chooseRecordFileButton_->setEnabled(true);
    recordingLabel_->setText(tr("Not recording (last: %1)").arg(QFileInfo(recordPath_).fileName()));
}

void MonitorWindow::chooseRecordFile()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Record to"), recordFileEdit_->text(), tr("CSV files (*.csv);;All files (*)"),
        nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty())
        recordFileEdit_->setText(path);
}

void MonitorWindow::exportChartAsked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export chart"), QString(),
                                                      tr("PNG image (*.png);;SVG drawing (*.svg)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportChart(path, error))
        warn(error);
}

bool MonitorWindow::exportChart(const QString &path, QString &error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool written = false;
    if (suffix == QLatin1String("png")) {
        written = chart_->savePng(path);
    } else if (suffix == QLatin1String("svg")) {
        written = chart_->saveSvg(path);
    } else {
        error = tr("%1: the chart is exported as .png or .svg").arg(path);
        return false;
    }
    if (!written)
        error = tr("Cannot write %1").arg(path);
    return written;
}

void MonitorWindow::loadSettings()
{
    const QSettings settings;
    choosePort(settings.value(key::port).toString());
    const int rate = rateBox_->findData(settings.value(key::rate, defaultRate).toInt());
    rateBox_->setCurrentIndex(rate >= 0 ? rate : rateBox_->findData(defaultRate));
    addressBox_->setValue(settings.value(key::address, 1).toInt());
    const QStringList objects =
        settings.value(key::objects, QStringList{QStringLiteral("avg")}).toStringList();
    for (int i = 0; i < objectBoxes_.size(); ++i)
        objectBoxes_[i]->setChecked(objects.contains(SampleSeries::objectNames().at(i)));
    intervalBox_->setValue(double(settings.value(key::intervalMs, 1000).toLongLong()) / 1000);
    const QVariantList levels = settings.value(key::alertLevels).toList();
    for (int i = 0; i < alertBoxes_.size() && i < levels.size(); ++i)
        alertBoxes_[i]->setValue(levels[i].toDouble());
    recordFileEdit_->setText(settings.value(key::recordFile).toString());
    const double window = settings.value(key::timeWindow, LivePlot::lastHour).toDouble();
    for (std::size_t i = 0; i < std::size(timeWindowButtons); ++i)
        if (timeWindowButtons[i].seconds == window) {
            windowButtons_->buttons().at(int(i))->setChecked(true);
            chart_->setTimeWindow(window);
        }
    chart_->setObjects(chosenObjects());
}

void MonitorWindow::saveSettings() const
{
    QSettings settings;
    settings.setValue(key::port, chosenPortName());
    settings.setValue(key::rate, rateBox_->currentData().toInt());
    settings.setValue(key::address, addressBox_->value());
    settings.setValue(key::objects, chosenObjects());
    settings.setValue(key::intervalMs, qRound64(intervalBox_->value() * 1000));
    QVariantList levels;
    for (const QDoubleSpinBox *box : alertBoxes_)
        levels << box->value();
    settings.setValue(key::alertLevels, levels);
    settings.setValue(key::timeWindow, chart_->timeWindow());
}

void MonitorWindow::closeEvent(QCloseEvent *event)
{
    saveSettings();
    sampler_.stop();
    finishPublisher();
    event->accept();
}

void MonitorWindow::warn(const QString &text)
{
    QMessageBox::warning(this, tr("PX8107 monitor"), text);
}
