#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "commands/nativeframe.h"
#include "commands/requests.h"
#include "replies/baudprobe.h"
#include "serial/codec.h"

#include <QDebug>

using typedinput::Field;

// False, and one log line saying so, when the frame did not leave: the port is closed or the
// write failed.
bool MainWindow::send(const QByteArray &frame)
{
    if (serialPort.write(frame) == frame.size())
        return true;
    appendLog(serialPort.isOpen() ? tr("Nothing was sent: writing to the serial port failed (%1).")
                                        .arg(serialPort.errorString())
                                  : tr("Nothing was sent: the serial port is not open."));
    return false;
}

// A typed value that failed its check: the user is told, and nothing is sent.
bool MainWindow::refused(const QString &refusal)
{
    if (refusal.isEmpty())
        return false;
    tellUser(refusal);
    return true;
}

void MainWindow::sendShown(const QByteArray &frame)
{
    send(frame);
    ui->lineEdit_TransSend_2->setText(toHexText(frame));
}

void MainWindow::sendQuery(const QByteArray &frame, quint8 ReplyWaitFlags::*field)
{
    if (send(frame)) {
        replyWaitFlags.*field = 1;
        awaitClock.raised(awaited::rowOf(field));
    }
    ui->lineEdit_TransSend_2->setText(toHexText(frame));
}

// Index 0 of the selector queries the register into the two fields; index 1 writes them.
void MainWindow::queryOrWritePair(const QComboBox *selector, QLineEdit *high, QLineEdit *low,
                                  Register reg, quint8 ReplyWaitFlags::*field, Field highField,
                                  Field lowField)
{
    if (selector->currentIndex() == 0) {
        high->setText(QString());
        low->setText(QString());
        sendQuery(requests::query(reg), field);
    } else {
        if (refused(typedinput::firstRefusal({{highField, high->text()}, {lowField, low->text()}})))
            return;
        sendShown(requests::write(reg, requests::lowByteOfDecimal(high->text()),
                                  requests::lowByteOfDecimal(low->text())));
    }
}

static quint8 selectedIndex(const QComboBox *comboBox)
{
    return quint8(comboBox->currentIndex() & 0xFF);
}

void MainWindow::on_pushButton_GetInfo_clicked()
{
    send(native::deviceInfoQuery());
    ui->Edit_DeviceID->setText(QString());
    ui->label_softid->setText(QString());
}

void MainWindow::on_pushButton_SetID_clicked()
{
    const QByteArray frame =
        native::setDeviceNumberFrame(native::parseDeviceNumber(ui->Edit_DeviceID->text()));
    qDebug("%x %x %x %x", int(qint8(frame[8])), int(qint8(frame[9])), int(qint8(frame[10])),
           int(qint8(frame[11])));
    send(frame);
}

void MainWindow::on_pushButton_ChangeToModbus_clicked()
{
    sendShown(requests::write(Register::Protocol, 0, quint8(ProtocolCode::Modbus)));
}

void MainWindow::on_pushButton_ChangeToModbus_2_clicked()
{
    sendShown(requests::write(Register::Protocol, 0, quint8(ProtocolCode::Native)));
}

void MainWindow::on_pushButton_SetFactoryConfig_clicked()
{
    sendShown(requests::write(Register::FactoryReset, 0, 1));
}

void MainWindow::on_pushButton_TransSend_clicked()
{
    if (refused(typedinput::passThroughRefusal(ui->lineEdit_TransSend->text())))
        return;
    const QByteArray payload = fromHexText(ui->lineEdit_TransSend->text());
    const auto frame = requests::passThroughWrite(
        requests::passThroughTarget(ui->comboBoxTransObject->currentText()), payload);
    if (!frame) {
        appendLog(tr("Pass-through refused: %1 bytes typed, at most %2 fit in one frame. Nothing "
                     "was sent.")
                      .arg(payload.size())
                      .arg(requests::passThroughMaxPayload));
        return;
    }
    for (char byte : *frame)
        qDebug("%x", unsigned(quint8(byte)));
    sendShown(*frame);
}

void MainWindow::on_pushButton_TransRead_clicked()
{
    sendQuery(requests::passThroughRead(
                  requests::passThroughTarget(ui->comboBoxTransObject->currentText())),
              &ReplyWaitFlags::waitTransRead);
}

void MainWindow::on_comboBoxCommonCMD_currentIndexChanged(const QString &)
{
    if (ui->comboBoxCommonCMD->currentIndex() == 1)
        ui->lineEdit_TransSend->setText(toHexText(native::sleepFrame()));
}

void MainWindow::on_pushButton_GetSensorData_clicked()
{
    sendQuery(requests::query(Register::Measurement, selectedIndex(ui->comboBoxSendObject)),
              &ReplyWaitFlags::waitSensorData);
}

void MainWindow::on_pushButton_2_clicked()
{
    if (refused(typedinput::firstRefusal(
            {{Field::ManualCleanTime, ui->lineEdit_CleanDustTime->text()}})))
        return;
    sendShown(requests::write(Register::ManualCleanDust, 0,
                              requests::lowByteOfDecimal(ui->lineEdit_CleanDustTime->text())));
}

void MainWindow::on_pushButton_AutoCleanDust_clicked()
{
    queryOrWritePair(ui->comboBoxAutoCleanDust, ui->lineEdit_AutoCleanTime,
                     ui->lineEdit_AutoCleanDustJianGe, Register::AutoCleanDust,
                     &ReplyWaitFlags::waitAutoCleanDust, Field::AutoCleanSeconds,
                     Field::AutoCleanHours);
}

void MainWindow::on_pushButton_ManualHeat_clicked()
{
    sendShown(requests::write(Register::HeatMode, 0, ui->radioButton_StartHeat->isChecked() ? 1 : 0));
}

void MainWindow::on_pushButton_AutoHeat_clicked()
{
    sendShown(requests::write(Register::HeatMode, 1, 0));
}

// An exclusive group keeps its checked button checked; leave the group for the moment.
static void uncheck(QAbstractButton *button)
{
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}

void MainWindow::on_pushButton_GetHeatMode_clicked()
{
    uncheck(ui->radioButton_AutoHeat);
    uncheck(ui->radioButton_ManualHeat);
    sendQuery(requests::query(Register::HeatMode), &ReplyWaitFlags::waitHeatMode);
}

void MainWindow::on_radioButton_StartHeat_clicked()
{
    ui->radioButton_StopHeat->setChecked(false);
}

void MainWindow::on_radioButton_StopHeat_clicked()
{
    ui->radioButton_StartHeat->setChecked(false);
}

void MainWindow::on_pushButton_AutoAll_clicked()
{
    sendShown(requests::write(Register::WorkMode, 1, 0));
}

void MainWindow::on_pushButton_AutoSingle_clicked()
{
    sendShown(requests::write(Register::WorkMode, 2, 0));
}

void MainWindow::on_pushButton_ManualSet_clicked()
{
    sendShown(requests::write(Register::WorkMode, 3,
                              requests::unitMask(ui->checkBox_No1->isChecked(),
                                                 ui->checkBox_No2->isChecked(),
                                                 ui->checkBox_No3->isChecked(),
                                                 ui->checkBox_No4->isChecked())));
}

void MainWindow::on_pushButton_GetWorkMode_clicked()
{
    for (QCheckBox *box : {ui->checkBox_No1, ui->checkBox_No2, ui->checkBox_No3, ui->checkBox_No4})
        box->setChecked(false);
    sendQuery(requests::query(Register::WorkMode), &ReplyWaitFlags::waitWorkMode);
}

void MainWindow::on_pushButton_GetDeviceAddr_clicked()
{
    ui->lineEdit_DeviceAddr->setText(QString());
    sendQuery(requests::query(Register::DeviceAddress), &ReplyWaitFlags::waitDeviceAddr);
}

void MainWindow::on_pushButton_SetDeviceAddr_clicked()
{
    if (refused(
            typedinput::firstRefusal({{Field::DeviceAddress, ui->lineEdit_DeviceAddr->text()}})))
        return;
    sendShown(requests::deviceAddressWrite(ui->lineEdit_DeviceAddr->text()));
}

void MainWindow::on_pushButton_SetSleep_clicked()
{
    sendShown(requests::write(Register::Sleep, 0, 0));
}

void MainWindow::on_pushButton_WakeDevice_clicked()
{
    sendShown(requests::write(Register::Sleep, 0, 1));
}

void MainWindow::on_pushButton_GetSelfCheck_clicked()
{
    for (QCheckBox *box : {ui->checkBox_Selfcheck1, ui->checkBox_Selfcheck2,
                           ui->checkBox_Selfcheck3, ui->checkBox_Selfcheck4})
        box->setChecked(false);
    sendQuery(requests::query(Register::SelfCheck), &ReplyWaitFlags::waitSelfCheck);
}

void MainWindow::on_pushButton_GetGlobalOnOff_clicked()
{
    for (QCheckBox *box :
         {ui->checkBox_Global1, ui->checkBox_Global2, ui->checkBox_Global3, ui->checkBox_Global4})
        box->setChecked(false);
    sendQuery(requests::query(Register::GlobalOnOff), &ReplyWaitFlags::waitGlobalOnOff);
}

void MainWindow::on_pushButton_SetGlobalOnOff_clicked()
{
    sendShown(requests::write(Register::GlobalOnOff, 0,
                              requests::unitMask(ui->checkBox_Global1->isChecked(),
                                                 ui->checkBox_Global2->isChecked(),
                                                 ui->checkBox_Global3->isChecked(),
                                                 ui->checkBox_Global4->isChecked())));
}

void MainWindow::on_pushButton_GetTempHumi_clicked()
{
    ui->lineEdit_Temp->setText(QString());
    ui->lineEdit_Humi->setText(QString());
    sendQuery(requests::query(Register::TempHumi), &ReplyWaitFlags::waitTempHumi);
}

void MainWindow::on_pushButton_HeatTemp_clicked()
{
    queryOrWritePair(ui->comboBox_HeatTemp, ui->lineEdit_HeatTempHigh, ui->lineEdit_HeatTempLow,
                     Register::HeatTemp, &ReplyWaitFlags::waitHeatTemp, Field::HeatTempHigh,
                     Field::HeatTempLow);
}

void MainWindow::on_pushButton_HeatHumi_clicked()
{
    queryOrWritePair(ui->comboBox_HeatHumi, ui->lineEdit_HeatHumiHigh, ui->lineEdit_HeatHumiLow,
                     Register::HeatHumi, &ReplyWaitFlags::waitHeatHumi, Field::HeatHumiHigh,
                     Field::HeatHumiLow);
}

void MainWindow::on_pushButton_Calibrate_clicked()
{
    const quint8 object = selectedIndex(ui->comboBox_CalibrateObject);
    const int range = selectedIndex(ui->comboBox_CalibrateRange);
    if (ui->comboBox_Calibrate->currentIndex() == 0) {
        ui->lineEdit_CalibrZero->setText(QString());
        ui->lineEdit_CalibrateFactor->setText(QString());
        sendQuery(requests::calibrationQuery(object, range), &ReplyWaitFlags::waitCalibrate);
    } else {
        if (refused(typedinput::firstRefusal(
                {{Field::CalibrationZero, ui->lineEdit_CalibrZero->text()},
                 {Field::CalibrationFactor, ui->lineEdit_CalibrateFactor->text()}})))
            return;
        sendShown(requests::calibrationWrite(object, range, ui->lineEdit_CalibrZero->text(),
                                             ui->lineEdit_CalibrateFactor->text()));
    }
}

void MainWindow::on_pushButton_GetFactor_clicked()
{
    for (QLineEdit *edit : {ui->lineEdit_1Factor, ui->lineEdit_1Factor_2, ui->lineEdit_2Factor,
                            ui->lineEdit_2Factor_2, ui->lineEdit_3Factor, ui->lineEdit_3Factor_2,
                            ui->lineEdit_4Factor, ui->lineEdit_4Factor_2})
        edit->setText(QString());
    sendQuery(requests::query(Register::Weights), &ReplyWaitFlags::waitFactor);
}

void MainWindow::on_pushButton_GetBaudrate_clicked()
{
    serialPort.setBaudRate(baudprobe::startRate, QSerialPort::AllDirections);
    if (send(baudprobe::probeRequest()))
        replyWaitFlags.baudProbeState = 1;
}

void MainWindow::on_pushButton_SetBaudrate_clicked()
{
    sendShown(requests::write(Register::BaudRate, 0,
                              requests::baudRateCodeForIndex(ui->comboBox_SetBoudRate->currentIndex())));
}
