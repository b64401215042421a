#include "app/mainwindow.h"
#include "messageboxcloser.h"

#include <QtTest>
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QSerialPortInfo>
#include <QTranslator>

// The window as built: every widget of the form, the constructor's changes, menus, texts.
class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void formWidgets();
    void creationOrderWithinEachParent();
    void looks();
    void initialStates();
    void buildingConnectsEverySlotSilently();
    void menuHoldsOnlyAbout();
    void aboutBox();
    void clearLogTouchesNothingElse();
    void catalogue_data();
    void catalogue();
    void setIdIsHiddenAndLogsSignExtendedBytes_data();
    void setIdIsHiddenAndLogsSignExtendedBytes();
};

enum class Look { Default, Large, LargeSheet, LargeFont, Small, SmallBold };

struct WidgetRow
{
    const char *name;
    const char *className;
    const char *parent;
    const char *text; // text, title, tab title, or combo entries joined by '|'
    Look look;
};

// Written down from the form's description, in creation order.
static const WidgetRow formRows[] = {
    {"centralWidget", "QWidget", "MainWindow", "", Look::Default},
    {"textEditPM", "QTextEdit", "centralWidget", "", Look::Large},
    {"label_2", "QLabel", "centralWidget", "设备ID：", Look::Large},
    {"label_3", "QLabel", "centralWidget", "固件版本：", Look::Large},
    {"label_softid", "QLabel", "centralWidget", "Firmware ID", Look::Large},
    {"pushButton_GetInfo", "QPushButton", "centralWidget", "获取设备信息", Look::Large},
    {"pushButton_SetID", "QPushButton", "centralWidget", "设置设备号", Look::Large},
    {"Edit_DeviceID", "QLineEdit", "centralWidget", "ffff-ffff", Look::Large},
    {"pushButton_ChangeToModbus", "QPushButton", "centralWidget", "转换为MODBUS协议", Look::Large},
    {"pushButton_ChangeToModbus_2", "QPushButton", "centralWidget", "转换为Orvel自有协议", Look::Large},
    {"pushButton_SetFactoryConfig", "QPushButton", "centralWidget", "恢复出厂设置", Look::Large},
    {"lineEdit_TransSend_2", "QLineEdit", "centralWidget", "", Look::Default},
    {"label_5", "QLabel", "centralWidget", "生成指令：", Look::Large},
    {"pushButton_GetSensorData", "QPushButton", "centralWidget", "查询检测数值", Look::Large},
    {"label_7", "QLabel", "centralWidget", "查询目标：", Look::Large},
    {"comboBoxSendObject", "QComboBox", "centralWidget", "平均值|1|2|3|4", Look::Large},
    {"groupBox_Com", "QGroupBox", "centralWidget", "COM", Look::LargeSheet},
    {"comboBoxCOM", "QComboBox", "groupBox_Com", "", Look::LargeFont},
    {"pushButtonClose", "QPushButton", "groupBox_Com", "关闭", Look::LargeFont},
    {"label", "QLabel", "groupBox_Com", "串口：", Look::LargeFont},
    {"comboBox_BoudRate", "QComboBox", "groupBox_Com", "9600|4800|9600|19200", Look::Default},
    {"pushButtonOpen", "QPushButton", "groupBox_Com", "打开", Look::LargeFont},
    {"pushButton_3", "QPushButton", "groupBox_Com", "刷新", Look::LargeFont},
    {"pushButton", "QPushButton", "groupBox_Com", "清除内容", Look::LargeFont},
    {"tabWidget", "QTabWidget", "centralWidget", "", Look::Default},
    {"tab_DeviceAddr", "QWidget", "tabWidget", "设备地址设置", Look::Default},
    {"pushButton_GetDeviceAddr", "QPushButton", "tab_DeviceAddr", "设备地址查询", Look::Default},
    {"pushButton_SetDeviceAddr", "QPushButton", "tab_DeviceAddr", "设备地址设置", Look::Default},
    {"label_DeviceAddr", "QLabel", "tab_DeviceAddr", "设备地址： 0x", Look::LargeSheet},
    {"lineEdit_DeviceAddr", "QLineEdit", "tab_DeviceAddr", "", Look::LargeSheet},
    {"pushButton_SetBaudrate", "QPushButton", "tab_DeviceAddr", "波特率设置", Look::Default},
    {"comboBox_SetBoudRate", "QComboBox", "tab_DeviceAddr", "9600|4800|9600|19200", Look::Default},
    {"pushButton_GetBaudrate", "QPushButton", "tab_DeviceAddr", "波特率查询", Look::Default},
    {"tab", "QWidget", "tabWidget", "休眠唤醒设置", Look::Default},
    {"pushButton_SetSleep", "QPushButton", "tab", "设置休眠", Look::Default},
    {"pushButton_WakeDevice", "QPushButton", "tab", "唤醒设备", Look::Default},
    {"tab_cleandust", "QWidget", "tabWidget", "除尘设置", Look::Default},
    {"pushButton_2", "QPushButton", "tab_cleandust", "手动除尘", Look::SmallBold},
    {"label_8", "QLabel", "tab_cleandust", "手动除尘时间：", Look::Small},
    {"lineEdit_CleanDustTime", "QLineEdit", "tab_cleandust", "10", Look::Default},
    {"pushButton_AutoCleanDust", "QPushButton", "tab_cleandust", "自动除尘时间", Look::Small},
    {"comboBoxAutoCleanDust", "QComboBox", "tab_cleandust", "查询|设置", Look::Small},
    {"label_9", "QLabel", "tab_cleandust", "自动除尘时间(秒)：", Look::Small},
    {"lineEdit_AutoCleanTime", "QLineEdit", "tab_cleandust", "", Look::Default},
    {"label_10", "QLabel", "tab_cleandust", "自动除尘间隔时间(小时)：", Look::Small},
    {"lineEdit_AutoCleanDustJianGe", "QLineEdit", "tab_cleandust", "", Look::Default},
    {"tab_heat", "QWidget", "tabWidget", "加热设置", Look::Default},
    {"pushButton_ManualHeat", "QPushButton", "tab_heat", "手动控制", Look::Default},
    {"pushButton_AutoHeat", "QPushButton", "tab_heat", "自动控制", Look::Default},
    {"pushButton_GetHeatMode", "QPushButton", "tab_heat", "查询当前控制方式", Look::Default},
    {"radioButton_ManualHeat", "QRadioButton", "tab_heat", "手动控制", Look::Default},
    {"radioButton_AutoHeat", "QRadioButton", "tab_heat", "自动控制", Look::Default},
    {"radioButton_StartHeat", "QRadioButton", "tab_heat", "开始加热", Look::Default},
    {"radioButton_StopHeat", "QRadioButton", "tab_heat", "停止加热", Look::Default},
    {"groupBox", "QGroupBox", "tab_heat", "自动加热门限设置", Look::Default},
    {"pushButton_HeatTemp", "QPushButton", "groupBox", "温度门限", Look::Default},
    {"pushButton_HeatHumi", "QPushButton", "groupBox", "湿度门限", Look::Default},
    {"comboBox_HeatTemp", "QComboBox", "groupBox", "查询|设置", Look::Default},
    {"comboBox_HeatHumi", "QComboBox", "groupBox", "查询|设置", Look::Default},
    {"label_17", "QLabel", "groupBox", "高门限(>0)：", Look::Default},
    {"label_18", "QLabel", "groupBox", "高门限(>低门限)：", Look::Default},
    {"lineEdit_HeatTempHigh", "QLineEdit", "groupBox", "", Look::Default},
    {"lineEdit_HeatHumiHigh", "QLineEdit", "groupBox", "", Look::Default},
    {"label_19", "QLabel", "groupBox", "℃", Look::Default},
    {"lineEdit_HeatTempLow", "QLineEdit", "groupBox", "", Look::Default},
    {"lineEdit_HeatHumiLow", "QLineEdit", "groupBox", "", Look::Default},
    {"label_20", "QLabel", "groupBox", "低门限(<0)：", Look::Default},
    {"label_21", "QLabel", "groupBox", "℃", Look::Default},
    {"label_22", "QLabel", "groupBox", "%", Look::Default},
    {"label_23", "QLabel", "groupBox", "%", Look::Default},
    {"label_24", "QLabel", "groupBox", "低门限：", Look::Default},
    {"tab_workmode", "QWidget", "tabWidget", "工作方式设置", Look::Default},
    {"pushButton_AutoAll", "QPushButton", "tab_workmode", "自动全部工作", Look::Default},
    {"pushButton_AutoSingle", "QPushButton", "tab_workmode", "自动单个工作", Look::Default},
    {"pushButton_ManualSet", "QPushButton", "tab_workmode", "手动指定工作", Look::Default},
    {"pushButton_GetWorkMode", "QPushButton", "tab_workmode", "查询工作方式", Look::Default},
    {"radioButton_Autoall", "QRadioButton", "tab_workmode", "自动全部工作", Look::Default},
    {"radioButton_Autosingle", "QRadioButton", "tab_workmode", "自动单个工作", Look::Default},
    {"radioButton_Manualset", "QRadioButton", "tab_workmode", "手动指定工作", Look::Default},
    {"checkBox_No1", "QCheckBox", "tab_workmode", "1号检测单元", Look::Default},
    {"checkBox_No2", "QCheckBox", "tab_workmode", "2号检测单元", Look::Default},
    {"checkBox_No3", "QCheckBox", "tab_workmode", "3号检测单元", Look::Default},
    {"checkBox_No4", "QCheckBox", "tab_workmode", "4号检测单元", Look::Default},
    {"tab_GetTempHumi", "QWidget", "tabWidget", "查询内部温湿度", Look::Default},
    {"pushButton_GetTempHumi", "QPushButton", "tab_GetTempHumi", "查询内部温湿度", Look::Default},
    {"label_13", "QLabel", "tab_GetTempHumi", "温度：", Look::LargeSheet},
    {"label_14", "QLabel", "tab_GetTempHumi", "湿度：", Look::LargeSheet},
    {"lineEdit_Temp", "QLineEdit", "tab_GetTempHumi", "", Look::LargeSheet},
    {"lineEdit_Humi", "QLineEdit", "tab_GetTempHumi", "", Look::LargeSheet},
    {"label_15", "QLabel", "tab_GetTempHumi", "℃", Look::Default},
    {"label_16", "QLabel", "tab_GetTempHumi", "%", Look::Default},
    {"tab_GetSelfCheck", "QWidget", "tabWidget", "查询自检状态", Look::Default},
    {"pushButton_GetSelfCheck", "QPushButton", "tab_GetSelfCheck", "查询自检状态", Look::Default},
    {"label_11", "QLabel", "tab_GetSelfCheck", "请开机5分钟后查询，以下为自检异常的检测单元：", Look::Default},
    {"checkBox_Selfcheck1", "QCheckBox", "tab_GetSelfCheck", "1号检测单元", Look::Default},
    {"checkBox_Selfcheck2", "QCheckBox", "tab_GetSelfCheck", "2号检测单元", Look::Default},
    {"checkBox_Selfcheck3", "QCheckBox", "tab_GetSelfCheck", "3号检测单元", Look::Default},
    {"checkBox_Selfcheck4", "QCheckBox", "tab_GetSelfCheck", "4号检测单元", Look::Default},
    {"tab_GlobalSet", "QWidget", "tabWidget", "全局手动指定", Look::Default},
    {"pushButton_GetGlobalOnOff", "QPushButton", "tab_GlobalSet", "查询全局开关", Look::Default},
    {"pushButton_SetGlobalOnOff", "QPushButton", "tab_GlobalSet", "设置全局开关", Look::Default},
    {"checkBox_Global1", "QCheckBox", "tab_GlobalSet", "1号检测单元", Look::Default},
    {"checkBox_Global2", "QCheckBox", "tab_GlobalSet", "2号检测单元", Look::Default},
    {"checkBox_Global3", "QCheckBox", "tab_GlobalSet", "3号检测单元", Look::Default},
    {"checkBox_Global4", "QCheckBox", "tab_GlobalSet", "4号检测单元", Look::Default},
    {"label_12", "QLabel", "tab_GlobalSet", "请谨慎使用，全局开关在自动模式下也有效；在手动工作模式下，与手动指定开关相比，后执行的有效", Look::LargeSheet},
    {"label_25", "QLabel", "tab_GlobalSet", "选中为打开，未选中为关闭", Look::LargeSheet},
    {"tab_Calibrate", "QWidget", "tabWidget", "校准", Look::Default},
    {"pushButton_Calibrate", "QPushButton", "tab_Calibrate", "校准", Look::LargeSheet},
    {"comboBox_Calibrate", "QComboBox", "tab_Calibrate", "查询|设置", Look::Default},
    {"label_26", "QLabel", "tab_Calibrate", "目标：", Look::Large},
    {"comboBox_CalibrateObject", "QComboBox", "tab_Calibrate", "平均值|1号|2号|3号|4号", Look::Default},
    {"lineEdit_CalibrZero", "QLineEdit", "tab_Calibrate", "", Look::Default},
    {"lineEdit_CalibrateFactor", "QLineEdit", "tab_Calibrate", "", Look::Default},
    {"label_27", "QLabel", "tab_Calibrate", "数值校准：", Look::Large},
    {"label_28", "QLabel", "tab_Calibrate", "比例校准：", Look::Large},
    {"comboBox_CalibrateRange", "QComboBox", "tab_Calibrate", "只PM2.5|只PM10|只PM100", Look::Default},
    {"label_29", "QLabel", "tab_Calibrate", "校准范围：", Look::Large},
    {"tab_TransSend", "QWidget", "tabWidget", "透传", Look::Default},
    {"label_4", "QLabel", "tab_TransSend", "透传目标：", Look::Small},
    {"comboBoxTransObject", "QComboBox", "tab_TransSend", "1|2|3|4", Look::Small},
    {"label_6", "QLabel", "tab_TransSend", "常用透传指令：", Look::Small},
    {"comboBoxCommonCMD", "QComboBox", "tab_TransSend", "无|休眠", Look::Small},
    {"pushButton_TransSend", "QPushButton", "tab_TransSend", "透传发送", Look::Small},
    {"pushButton_TransRead", "QPushButton", "tab_TransSend", "透传读取", Look::Small},
    {"lineEdit_TransSend", "QLineEdit", "tab_TransSend", "", Look::Default},
    {"lineEdit_TransRead", "QLineEdit", "tab_TransSend", "", Look::Default},
    {"tab_2", "QWidget", "tabWidget", "查询全部自检", Look::Default},
    {"pushButton_GetFactor", "QPushButton", "tab_2", "查询自检状态", Look::Default},
    {"label_30", "QLabel", "tab_2", "请开机5分钟后查询，以下为自检异常的检测单元：", Look::Default},
    {"lineEdit_1Factor", "QLineEdit", "tab_2", "", Look::Default},
    {"lineEdit_2Factor", "QLineEdit", "tab_2", "", Look::Default},
    {"lineEdit_3Factor", "QLineEdit", "tab_2", "", Look::Default},
    {"lineEdit_4Factor", "QLineEdit", "tab_2", "", Look::Default},
    {"label_31", "QLabel", "tab_2", "自检权重：", Look::Large},
    {"lineEdit_1Factor_2", "QLineEdit", "tab_2", "", Look::Default},
    {"lineEdit_2Factor_2", "QLineEdit", "tab_2", "", Look::Default},
    {"lineEdit_3Factor_2", "QLineEdit", "tab_2", "", Look::Default},
    {"label_32", "QLabel", "tab_2", "疑似权重：", Look::Large},
    {"lineEdit_4Factor_2", "QLineEdit", "tab_2", "", Look::Default},
    {"menuBar", "QMenuBar", "MainWindow", "", Look::Default},
    {"mainToolBar", "QToolBar", "MainWindow", "", Look::Default},
    {"statusBar", "QStatusBar", "MainWindow", "", Look::Default},
};

static const QString largeSheet = QStringLiteral("font: 75 12pt \"微软雅黑\";");
static const QString smallSheet = QStringLiteral("font: 75 10pt \"微软雅黑\";");

static QString parentName(QWidget *window, QWidget *widget)
{
    auto *tabs = window->findChild<QTabWidget *>("tabWidget");
    if (tabs->indexOf(widget) >= 0 || widget->objectName() == "tab_TransSend")
        return "tabWidget";
    if (qobject_cast<QMainWindow *>(widget->parentWidget()))
        return "MainWindow";
    return widget->parentWidget()->objectName();
}

static QString textOf(QWidget *window, QWidget *widget)
{
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QStringList entries;
        for (int i = 0; i < combo->count(); ++i)
            entries << combo->itemText(i);
        return entries.join('|');
    }
    if (auto *group = qobject_cast<QGroupBox *>(widget))
        return group->title();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    if (auto *log = qobject_cast<QTextEdit *>(widget))
        return log->toPlainText();
    if (widget->objectName() == "tab_TransSend")
        return "透传";
    auto *tabs = window->findChild<QTabWidget *>("tabWidget");
    const int index = tabs->indexOf(widget);
    return index >= 0 ? tabs->tabText(index) : QString();
}

void MainWindowTest::formWidgets()
{
    MainWindow window;
    QCOMPARE(int(std::size(formRows)), 143);
    QSet<QString> expectedNames;
    for (const WidgetRow &row : formRows) {
        expectedNames.insert(row.name);
        auto *widget = window.findChild<QWidget *>(row.name);
        QVERIFY2(widget, row.name);
        QCOMPARE(widget->metaObject()->className(), row.className);
        QCOMPARE(parentName(&window, widget), QString(row.parent));
        if (QString(row.name) != "comboBoxCOM")
            QCOMPARE(textOf(&window, widget), QString::fromUtf8(row.text));
    }
    QStringList ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << info.portName();
    QCOMPARE(textOf(&window, window.findChild<QWidget *>("comboBoxCOM")), ports.join('|'));
    QCOMPARE(expectedNames.size(), 143);

    QSet<QString> builtNames;
    for (QWidget *widget : window.findChildren<QWidget *>())
        if (!widget->objectName().isEmpty() && !widget->objectName().startsWith("qt_") &&
            !qobject_cast<QTabBar *>(widget->parentWidget()))
            builtNames.insert(widget->objectName());
    const QStringList extra = builtNames.subtract(expectedNames).values();
    QVERIFY2(extra.isEmpty(), qPrintable(extra.join(", ")));

    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.windowTitle(), QString("PX8107配置软件"));
    QCOMPARE(window.size(), QSize(1528, 823));
    const auto tooltip = [&](const char *name) {
        return window.findChild<QWidget *>(name)->toolTip();
    };
    const QString nativeTip = "<html><head/><body><p><span style=\" font-size:10pt;\">自有协议下使用</span></p></body></html>";
    const QString modbusTip = "<html><head/><body><p><span style=\" font-size:10pt;\">Modbus下使用</span></p></body></html>";
    QCOMPARE(tooltip("pushButton_GetInfo"), nativeTip);
    QCOMPARE(tooltip("pushButton_SetID"), nativeTip);
    QCOMPARE(tooltip("pushButton_SetFactoryConfig"), modbusTip);
    QCOMPARE(tooltip("pushButton_GetSensorData"), modbusTip);

    const auto area = [&](const char *name) { return window.findChild<QWidget *>(name)->geometry(); };
    QCOMPARE(area("groupBox_Com"), QRect(10, 10, 691, 61));
    QCOMPARE(area("textEditPM"), QRect(10, 90, 571, 591));
    QCOMPARE(area("tabWidget"), QRect(600, 340, 921, 331));
    for (const char *name : {"label_2", "Edit_DeviceID", "pushButton_GetInfo", "label_softid",
                             "pushButton_ChangeToModbus_2", "pushButton_SetFactoryConfig",
                             "comboBoxSendObject", "lineEdit_TransSend_2", "label_5"}) {
        const QRect r = area(name);
        QVERIFY2(r.left() >= 620 && r.right() <= 1350 && r.top() >= 30 && r.bottom() <= 320, name);
    }
}

void MainWindowTest::creationOrderWithinEachParent()
{
    MainWindow window;
    QHash<QString, QStringList> expected;
    for (const WidgetRow &row : formRows)
        if (QString(row.parent) != "tabWidget" && QString(row.parent) != "MainWindow")
            expected[row.parent] << row.name;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QStringList built;
        for (QObject *child : window.findChild<QWidget *>(it.key())->children())
            if (!child->objectName().isEmpty() && it.value().contains(child->objectName()))
                built << child->objectName();
        QCOMPARE(built, it.value());
    }
}

void MainWindowTest::looks()
{
    MainWindow window;
    for (const WidgetRow &row : formRows) {
        auto *widget = window.findChild<QWidget *>(row.name);
        QString sheet;
        if (row.look == Look::Large || row.look == Look::LargeSheet)
            sheet = largeSheet;
        else if (row.look == Look::SmallBold)
            sheet = smallSheet;
        else if (QString(row.name) == "lineEdit_CleanDustTime")
            sheet = "border-color: rgb(0, 0, 255);";
        else if (QString(row.name) == "tabWidget")
            sheet = "QTabWidget:pane {border:1px solid #205B7B;background:  transparent; }";
        QCOMPARE(widget->styleSheet(), sheet);
        const bool ownFont = row.look == Look::Large || row.look == Look::LargeFont ||
                             row.look == Look::Small || row.look == Look::SmallBold;
        if (ownFont) {
            QCOMPARE(widget->font().family(), QString("微软雅黑"));
            const int size = (row.look == Look::Small || row.look == Look::SmallBold) ? 10 : 12;
            QCOMPARE(widget->font().pointSize(), size);
        }
    }
}

void MainWindowTest::initialStates()
{
    MainWindow window;
    auto *tabs = window.findChild<QTabWidget *>("tabWidget");
    QCOMPARE(tabs->count(), 10);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QString("设备地址设置"));
    QCOMPARE(tabs->tabText(9), QString("查询全部自检"));
    for (int i = 0; i < tabs->count(); ++i)
        QVERIFY(tabs->tabText(i) != "透传");
    QVERIFY(window.findChild<QWidget *>("tab_TransSend"));

    QVERIFY(window.findChild<QWidget *>("pushButtonOpen")->isEnabled());
    QVERIFY(!window.findChild<QWidget *>("pushButtonClose")->isEnabled());
    QVERIFY(window.findChild<QWidget *>("pushButton_SetID")->isHidden());

    for (const char *name : {"comboBox_BoudRate", "comboBox_SetBoudRate"}) {
        auto *combo = window.findChild<QComboBox *>(name);
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(combo->currentText(), QString("9600"));
    }
    for (auto *combo : window.findChildren<QComboBox *>())
        if (combo->objectName() != "comboBoxCOM")
            QCOMPARE(combo->currentIndex(), 0);
    for (auto *button : window.findChildren<QAbstractButton *>())
        QVERIFY2(!button->isChecked(), qPrintable(button->objectName()));
    QVERIFY(window.findChild<QComboBox *>("comboBoxCOM")->isEditable());
    // Filling the common-command list while building must not have run its slot.
    QCOMPARE(window.findChild<QLineEdit *>("lineEdit_TransSend")->text(), QString());
}

static QStringList warnings;
static void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        warnings << message;
}

void MainWindowTest::buildingConnectsEverySlotSilently()
{
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    {
        MainWindow window;
    }
    qInstallMessageHandler(previous);
    for (const QString &warning : qAsConst(warnings))
        QVERIFY2(!warning.contains("connectSlotsByName"), qPrintable(warning));

    const QMetaObject *meta = &MainWindow::staticMetaObject;
    QStringList slotNames;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        if (meta->method(i).methodType() == QMetaMethod::Slot)
            slotNames << meta->method(i).name();
    QCOMPARE(slotNames.size(), 39);
    QCOMPARE(slotNames.first(), QString("on_pushButtonOpen_clicked"));
    QCOMPARE(slotNames.indexOf("About"), 28);
    QCOMPARE(slotNames.last(), QString("on_pushButton_SetBaudrate_clicked"));
}

void MainWindowTest::menuHoldsOnlyAbout()
{
    MainWindow window;
    const QList<QAction *> menus = window.menuBar()->actions();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus.first()->text(), QString("&About"));
    QVERIFY(menus.first()->menu());
    const QList<QAction *> entries = menus.first()->menu()->actions();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first()->text(), QString("&About"));
}

void MainWindowTest::aboutBox()
{
    MainWindow window;
    window.show();
    QAction *about = window.menuBar()->actions().first()->menu()->actions().first();
    MessageBoxCloser closer;
    about->trigger();
    about->trigger();
    QCOMPARE(closer.seen.size(), 2);
    const QString text = "<html>V1.3</html><html><br>PX8107 Config and Test </html><html><br>"
                         "www.orvel.example </html><html><br>2017.7.11</html>";
    for (const auto &box : closer.seen) {
        QCOMPARE(box.title, QString("About"));
        QCOMPARE(box.text, text);
        QCOMPARE(box.buttons, 1);
        QVERIFY(!box.hadParent);
    }
}

void MainWindowTest::clearLogTouchesNothingElse()
{
    MainWindow window;
    auto *log = window.findChild<QTextEdit *>("textEditPM");
    auto *shown = window.findChild<QLineEdit *>("lineEdit_TransSend_2");
    log->append("aa bb ");
    shown->setText("00 03 ");
    window.findChild<QAbstractButton *>("pushButton")->click();
    QCOMPARE(log->toPlainText(), QString());
    QCOMPARE(shown->text(), QString("00 03 "));
    QCOMPARE(window.findChild<QLineEdit *>("Edit_DeviceID")->text(), QString("ffff-ffff"));
}

void MainWindowTest::catalogue_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Modbus, installed") << true << "Device change to MODBUS!" << "设备转换为MODBUS协议！";
    QTest::newRow("native, installed") << true << "Device change to Orvel!" << "设备转换为Orvel自有协议！";
    QTest::newRow("reset, installed") << true << "Device change to FactoryConfig!" << "设备已恢复出厂设置！";
    QTest::newRow("Modbus, absent") << false << "Device change to MODBUS!" << "Device change to MODBUS!";
    QTest::newRow("one character off") << true << "Device change to MODBUS" << "Device change to MODBUS";
    QTest::newRow("About texts untranslated") << true << "PX8107 Config and Test " << "PX8107 Config and Test ";
}

void MainWindowTest::catalogue()
{
    QFETCH(bool, installed);
    QFETCH(QString, source);
    QFETCH(QString, shown);
    QTranslator translator;
    QVERIFY(translator.load(":/ts/zh_CN.qm"));
    if (installed)
        QCoreApplication::installTranslator(&translator);
    const QByteArray utf8 = source.toUtf8();
    QCOMPARE(QCoreApplication::translate("MainWindow", utf8.constData()), shown);
    if (installed) {
        // The form keeps its Chinese texts with the catalogue in place.
        MainWindow window;
        QCOMPARE(window.findChild<QAbstractButton *>("pushButtonOpen")->text(), QString("打开"));
    }
    QCoreApplication::removeTranslator(&translator);
}

void MainWindowTest::setIdIsHiddenAndLogsSignExtendedBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("debugLine");
    QTest::newRow("initial text") << "ffff-ffff" << "ffffffff ffffffff ffffffff ffffffff";
    QTest::newRow("12ab-0c3d") << "12ab-0c3d" << "12 ffffffab c 3d";
    QTest::newRow("empty") << "" << "0 0 0 0";
}

void MainWindowTest::setIdIsHiddenAndLogsSignExtendedBytes()
{
    QFETCH(QString, text);
    QFETCH(QString, debugLine);
    MainWindow window;
    auto *button = window.findChild<QAbstractButton *>("pushButton_SetID");
    QVERIFY(button->isHidden());
    window.findChild<QLineEdit *>("Edit_DeviceID")->setText(text);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(debugLine));
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QSerialPort): device not open");
    button->click();
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
