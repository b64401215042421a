#pragma once

#include "commands/registermap.h"
#include "commands/typedinput.h"
#include "replies/awaited.h"
#include "replies/replywaitflags.h"
#include "replies/rxbuffer.h"

#include <QMainWindow>
#include <QSerialPort>

class QComboBox;
class QLineEdit;
class QTimerEvent;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void timerEvent(QTimerEvent *event) override;

private slots:
    void on_pushButtonOpen_clicked();
    void on_pushButtonClose_clicked();
    void on_pushButton_clicked();
    void on_pushButton_GetInfo_clicked();
    void on_pushButton_SetID_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_ChangeToModbus_clicked();
    void on_pushButton_ChangeToModbus_2_clicked();
    void on_pushButton_SetFactoryConfig_clicked();
    void on_pushButton_TransSend_clicked();
    void on_pushButton_TransRead_clicked();
    void on_comboBoxCommonCMD_currentIndexChanged(const QString &);
    void on_pushButton_GetSensorData_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_AutoCleanDust_clicked();
    void on_pushButton_ManualHeat_clicked();
    void on_pushButton_AutoHeat_clicked();
    void on_pushButton_GetHeatMode_clicked();
    void on_radioButton_StartHeat_clicked();
    void on_radioButton_StopHeat_clicked();
    void on_pushButton_AutoAll_clicked();
    void on_pushButton_AutoSingle_clicked();
    void on_pushButton_ManualSet_clicked();
    void on_pushButton_GetWorkMode_clicked();
    void on_pushButton_GetDeviceAddr_clicked();
    void on_pushButton_SetDeviceAddr_clicked();
    void on_pushButton_SetSleep_clicked();
    void on_pushButton_WakeDevice_clicked();
    void About();
    void on_pushButton_GetSelfCheck_clicked();
    void on_pushButton_GetGlobalOnOff_clicked();
    void on_pushButton_SetGlobalOnOff_clicked();
    void on_pushButton_GetTempHumi_clicked();
    void on_pushButton_HeatTemp_clicked();
    void on_pushButton_HeatHumi_clicked();
    void on_pushButton_Calibrate_clicked();
    void on_pushButton_GetFactor_clicked();
    void on_pushButton_GetBaudrate_clicked();
    void on_pushButton_SetBaudrate_clicked();

private:
    // serial/
    void fillPortList();
    void enterClosedState();
    void onPortError(QSerialPort::SerialPortError error);
    void tellUser(const QString &message);

    // commands/
    bool send(const QByteArray &frame);
    void sendShown(const QByteArray &frame);
    void sendQuery(const QByteArray &frame, quint8 ReplyWaitFlags::*field);
    void queryOrWritePair(const QComboBox *selector, QLineEdit *high, QLineEdit *low, Register reg,
                          quint8 ReplyWaitFlags::*field, typedinput::Field highField,
                          typedinput::Field lowField);
    bool refused(const QString &refusal);

    // replies/
    void handleNativeFrame(const RxBuffer &b, int position);
    void handleWriteEcho(const RxBuffer &b);
    void serveQueries(const RxBuffer &b);
    void logUnanswered(const std::vector<int> &rows);
    void checkProbeReply(const RxBuffer &b);
    void advanceBaudProbe();
    void showMeasurement(const RxBuffer &b);
    void showAutoCleanDust(const RxBuffer &b);
    void showHeatMode(const RxBuffer &b);
    void showWorkMode(const RxBuffer &b);
    void showDeviceAddr(const RxBuffer &b);
    void showSelfCheck(const RxBuffer &b);
    void showGlobalOnOff(const RxBuffer &b);
    void showTempHumi(const RxBuffer &b);
    void showHeatTemp(const RxBuffer &b);
    void showHeatHumi(const RxBuffer &b);
    void showCalibrate(const RxBuffer &b);
    void showTransRead(const RxBuffer &b);
    void showFactor(const RxBuffer &b);
    static void showPair(QLineEdit *high, QLineEdit *low, int highValue, int lowValue);
    void appendLog(const QString &line);
    void information(const QString &text);

    Ui::MainWindow *ui;
    QSerialPort serialPort;
    int pollTimerId = -1;
    QString openedPortName; // as typed, for telling the user which port was lost
    awaited::Clock awaitClock; // order and age of the raised fields

    struct QueryRow
    {
        quint8 ReplyWaitFlags::*field;
        void (MainWindow::*show)(const RxBuffer &);
    };
    static const QueryRow queryRows[13];
};
