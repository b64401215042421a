#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "serial/porthint.h"

#include <QMessageBox>
#include <QSerialPortInfo>
#include <QTimer>

namespace {
constexpr int pollPeriodMs = 300;
}

void MainWindow::fillPortList()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        ui->comboBoxCOM->addItem(info.portName());
}

void MainWindow::on_pushButton_3_clicked()
{
    ui->comboBoxCOM->clear();
    fillPortList();
}

void MainWindow::on_pushButtonOpen_clicked()
{
    ui->pushButtonOpen->setEnabled(false);
    ui->pushButtonClose->setEnabled(true);
    const QString portName = ui->comboBoxCOM->currentText();
    serialPort.setPortName(portName);
    if (!serialPort.open(QIODevice::ReadWrite)) {
        const QString reason = serialPort.errorString();
        const QString advice = porthint::openAdvice(
            porthint::troubleOf(serialPort.error() == QSerialPort::PermissionError,
                                porthint::deviceFileRefusesUser(portName)));
        enterClosedState();
        tellUser(tr("Cannot open serial port \"%1\": %2").arg(portName, reason) + advice);
        return;
    }
    const qint32 baud = ui->comboBox_BoudRate->currentText().toInt(nullptr, 10);
    serialPort.setBaudRate(baud, QSerialPort::AllDirections);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setFlowControl(QSerialPort::NoFlowControl);
    openedPortName = portName;
    pollTimerId = startTimer(pollPeriodMs, Qt::CoarseTimer);
}

void MainWindow::on_pushButtonClose_clicked()
{
    serialPort.close();
    enterClosedState();
}

void MainWindow::enterClosedState()
{
    ui->pushButtonOpen->setEnabled(true);
    ui->pushButtonClose->setEnabled(false);
    // Queries that went out on this port can no longer be answered.
    logUnanswered(awaitClock.lowerAll(replyWaitFlags));
    if (pollTimerId != -1) {
        killTimer(pollTimerId);
        pollTimerId = -1;
    }
}

void MainWindow::onPortError(QSerialPort::SerialPortError error)
{
    if (!serialPort.isOpen())
        return;
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    const QString message = tr("Serial port \"%1\" was lost and has been closed: %2")
                                .arg(openedPortName, serialPort.errorString()) +
                            porthint::lostAdvice();
    serialPort.close();
    enterClosedState();
    // The port's own notifier emitted this; tell the user once control is back in the event loop.
    QTimer::singleShot(0, this, [this, message] { tellUser(message); });
}

void MainWindow::tellUser(const QString &message)
{
    appendLog(message);
    information(message);
}
