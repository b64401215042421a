#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "commands/nativeframe.h"
#include "replies/baudprobe.h"
#include "replies/boundedlog.h"
#include "replies/classify.h"
#include "replies/decoders.h"
#include "serial/codec.h"

#include <QDebug>
#include <QMessageBox>
#include <QThread>

// The raised fields, in the order of the flags and of awaited::queries.
const MainWindow::QueryRow MainWindow::queryRows[13] = {
    {&ReplyWaitFlags::waitSensorData, &MainWindow::showMeasurement},
    {&ReplyWaitFlags::waitAutoCleanDust, &MainWindow::showAutoCleanDust},
    {&ReplyWaitFlags::waitHeatMode, &MainWindow::showHeatMode},
    {&ReplyWaitFlags::waitWorkMode, &MainWindow::showWorkMode},
    {&ReplyWaitFlags::waitDeviceAddr, &MainWindow::showDeviceAddr},
    {&ReplyWaitFlags::waitSelfCheck, &MainWindow::showSelfCheck},
    {&ReplyWaitFlags::waitGlobalOnOff, &MainWindow::showGlobalOnOff},
    {&ReplyWaitFlags::waitTempHumi, &MainWindow::showTempHumi},
    {&ReplyWaitFlags::waitHeatTemp, &MainWindow::showHeatTemp},
    {&ReplyWaitFlags::waitHeatHumi, &MainWindow::showHeatHumi},
    {&ReplyWaitFlags::waitCalibrate, &MainWindow::showCalibrate},
    {&ReplyWaitFlags::waitTransRead, &MainWindow::showTransRead},
    {&ReplyWaitFlags::waitFactor, &MainWindow::showFactor},
};

void MainWindow::timerEvent(QTimerEvent *)
{
    const QByteArray read = serialPort.readAll();
    if (isLogged(read.size()))
        appendLog(toHexText(read));
    const RxBuffer buffer = RxBuffer::fromRead(read);

    const Classification kind = classify(buffer);
    switch (kind.kind) {
    case ReplyKind::NativeFrames:
        for (int frame = 0; frame < kind.nativeFrameCount; ++frame)
            handleNativeFrame(buffer, frame * native::frameSize);
        break;
    case ReplyKind::WriteEcho:
        handleWriteEcho(buffer);
        break;
    case ReplyKind::FunctionThree:
        // The running baud search's answer is its own, not a value for a raised field.
        if (replyWaitFlags.baudProbeState == 0 || !baudprobe::acceptsReply(buffer))
            serveQueries(buffer);
        checkProbeReply(buffer);
        break;
    case ReplyKind::Unmatched:
        break;
    }

    // Only unread input is dropped: requests written during this tick must still reach the line.
    if (serialPort.isOpen())
        serialPort.clear(QSerialPort::Input);
    logUnanswered(awaitClock.tick(replyWaitFlags));
    advanceBaudProbe();
}

void MainWindow::logUnanswered(const std::vector<int> &rows)
{
    for (const int row : rows)
        appendLog(tr("No valid answer came to the %1 query.").arg(tr(awaited::queries[row].name)));
}

void MainWindow::handleNativeFrame(const RxBuffer &b, int position)
{
    if (!awaited::nativeChecksumMatches(b, position))
        return; // logged as hex only
    const decode::NativeFrameContent content = decode::nativeFrame(b, position);
    switch (content.reply) {
    case decode::NativeReply::DeviceId:
        ui->Edit_DeviceID->setText(content.text);
        QThread::msleep(200);
        send(native::firmwareQuery());
        break;
    case decode::NativeReply::Firmware:
        ui->label_softid->setText(content.text);
        break;
    case decode::NativeReply::Other:
        break;
    }
}

void MainWindow::handleWriteEcho(const RxBuffer &b)
{
    const auto echo = decode::writeEcho(b);
    if (!echo)
        return;
    const QString message = tr(decode::writeEchoMessage(*echo));
    information(message);
    appendLog(message);
}

// A whole, intact reply serves the oldest raised field whose query it fits, and no other.
void MainWindow::serveQueries(const RxBuffer &b)
{
    const int row = awaitClock.serve(b, replyWaitFlags);
    if (row >= 0)
        (this->*queryRows[row].show)(b);
}

void MainWindow::checkProbeReply(const RxBuffer &b)
{
    if (replyWaitFlags.baudProbeState == 0 || !baudprobe::acceptsReply(b))
        return;
    information(tr(baudprobe::messageOfState(replyWaitFlags.baudProbeState)));
    replyWaitFlags.baudProbeState = 0;
}

void MainWindow::advanceBaudProbe()
{
    const baudprobe::TickStep step =
        baudprobe::endOfTick(replyWaitFlags.baudProbeState, baudProbeTicks);
    baudProbeTicks = step.newTicks;
    replyWaitFlags.baudProbeState = step.newState;
    if (!step.retuneTo)
        return;
    serialPort.setBaudRate(*step.retuneTo, QSerialPort::AllDirections);
    send(baudprobe::probeRequest());
    qDebug("%d", step.announcedState);
}

void MainWindow::appendLog(const QString &line)
{
    boundedlog::append(ui->textEditPM, line);
}

void MainWindow::information(const QString &text)
{
    QMessageBox::information(this, QStringLiteral("Information"), text, QMessageBox::Ok);
}

void MainWindow::showPair(QLineEdit *high, QLineEdit *low, int highValue, int lowValue)
{
    high->setText(QString::number(highValue));
    low->setText(QString::number(lowValue));
}

void MainWindow::showMeasurement(const RxBuffer &b)
{
    appendLog(decode::measurementLine(decode::measurement(b),
                                      quint8(ui->comboBoxSendObject->currentIndex() & 0xFF)));
}

void MainWindow::showAutoCleanDust(const RxBuffer &b)
{
    const decode::BytePair times = decode::autoCleanDust(b);
    showPair(ui->lineEdit_AutoCleanTime, ui->lineEdit_AutoCleanDustJianGe, times.high, times.low);
}

void MainWindow::showHeatMode(const RxBuffer &b)
{
    const auto automatic = decode::heatModeAutomatic(b);
    if (!automatic)
        return;
    ui->radioButton_AutoHeat->setChecked(*automatic);
    ui->radioButton_ManualHeat->setChecked(!*automatic);
}

void MainWindow::showWorkMode(const RxBuffer &b)
{
    const auto mode = decode::workMode(b);
    if (!mode)
        return;
    ui->radioButton_Autoall->setChecked(mode->mode == 1);
    ui->radioButton_Autosingle->setChecked(mode->mode == 2);
    ui->radioButton_Manualset->setChecked(mode->mode == 3);
    QCheckBox *const boxes[] = {ui->checkBox_No1, ui->checkBox_No2, ui->checkBox_No3,
                                ui->checkBox_No4};
    for (std::size_t unit = 0; unit < 4; ++unit)
        if (mode->units[unit])
            boxes[unit]->setChecked(true);
}

void MainWindow::showDeviceAddr(const RxBuffer &b)
{
    ui->lineEdit_DeviceAddr->setText(decode::deviceAddressText(b));
}

void MainWindow::showSelfCheck(const RxBuffer &b)
{
    const auto failed = decode::selfCheckFailed(b);
    QCheckBox *const boxes[] = {ui->checkBox_Selfcheck1, ui->checkBox_Selfcheck2,
                                ui->checkBox_Selfcheck3, ui->checkBox_Selfcheck4};
    for (std::size_t unit = 0; unit < 4; ++unit)
        if (failed[unit])
            boxes[unit]->setChecked(true);
}

void MainWindow::showGlobalOnOff(const RxBuffer &b)
{
    const auto on = decode::globalOn(b);
    QCheckBox *const boxes[] = {ui->checkBox_Global1, ui->checkBox_Global2, ui->checkBox_Global3,
                                ui->checkBox_Global4};
    for (std::size_t unit = 0; unit < 4; ++unit)
        if (on[unit])
            boxes[unit]->setChecked(true);
}

void MainWindow::showTempHumi(const RxBuffer &b)
{
    const decode::BytePair values = decode::tempHumi(b);
    showPair(ui->lineEdit_Temp, ui->lineEdit_Humi, values.high, values.low);
}

void MainWindow::showHeatTemp(const RxBuffer &b)
{
    const decode::BytePair values = decode::heatTemp(b);
    showPair(ui->lineEdit_HeatTempHigh, ui->lineEdit_HeatTempLow, values.high, values.low);
}

void MainWindow::showHeatHumi(const RxBuffer &b)
{
    const decode::BytePair values = decode::heatHumi(b);
    showPair(ui->lineEdit_HeatHumiHigh, ui->lineEdit_HeatHumiLow, values.high, values.low);
}

void MainWindow::showCalibrate(const RxBuffer &b)
{
    const decode::Calibration values = decode::calibration(b);
    ui->lineEdit_CalibrZero->setText(QString::number(values.zeroOffset));
    ui->lineEdit_CalibrateFactor->setText(QString::number(values.factor));
}

void MainWindow::showTransRead(const RxBuffer &b)
{
    ui->lineEdit_TransRead->setText(decode::passThroughReadText(b));
}

void MainWindow::showFactor(const RxBuffer &b)
{
    const auto values = decode::weights(b);
    QLineEdit *const edits[] = {ui->lineEdit_1Factor,   ui->lineEdit_2Factor,
                                ui->lineEdit_3Factor,   ui->lineEdit_4Factor,
                                ui->lineEdit_1Factor_2, ui->lineEdit_2Factor_2,
                                ui->lineEdit_3Factor_2, ui->lineEdit_4Factor_2};
    for (std::size_t i = 0; i < values.size(); ++i)
        edits[i]->setText(QString::number(values[i]));
}
