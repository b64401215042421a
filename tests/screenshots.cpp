// Makes the user guide's pictures: the real window, talking to the simulator, one picture of the
// whole window and one of each tab. Run under a display (scripts/screenshots.sh uses Xvfb).
#include "app/mainwindow.h"
#include "messageboxcloser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextEdit>
#include <QTranslator>

#include <cstdio>
#include <functional>

namespace {

constexpr int replyTimeoutMs = 3000;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "px8107-screenshots: %s\n", qPrintable(message));
    std::exit(1);
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs = replyTimeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

template <typename T> T *child(QWidget &window, const char *name)
{
    T *widget = window.findChild<T *>(QLatin1String(name));
    if (!widget)
        fail(QStringLiteral("the window has no %1").arg(QLatin1String(name)));
    return widget;
}

// Selects the entry of a query/set combo box, then clicks the button.
struct Step
{
    const char *button;
    const char *combo = nullptr;
    int comboIndex = 0;
};

// One request at a time: an answer is decoded by every query still waiting for one.
void click(QWidget &window, const Step &step)
{
    if (step.combo)
        child<QComboBox>(window, step.combo)->setCurrentIndex(step.comboIndex);
    auto *log = child<QTextEdit>(window, "textEditPM");
    const int lines = log->document()->blockCount();
    child<QAbstractButton>(window, step.button)->click();
    if (!waitFor([log, lines] { return log->document()->blockCount() > lines; }))
        fail(QStringLiteral("no answer to %1").arg(QLatin1String(step.button)));
}

void save(QWidget &widget, const QString &path)
{
    if (!widget.grab().save(path))
        fail(QStringLiteral("cannot write %1").arg(path));
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Saves pictures of the window for the guide."));
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("port"), QStringLiteral("The simulator's link."), QStringLiteral("path")});
    parser.addOption({QStringLiteral("out"), QStringLiteral("Folder for the PNG files."),
                      QStringLiteral("dir")});
    parser.process(application);
    const QString port = parser.value(QStringLiteral("port"));
    const QDir out(parser.value(QStringLiteral("out")));
    if (port.isEmpty() || parser.value(QStringLiteral("out")).isEmpty())
        fail(QStringLiteral("--port and --out are needed"));
    if (!QDir().mkpath(out.path()))
        fail(QStringLiteral("cannot make %1").arg(out.path()));

    QTranslator translator;
    translator.load(QStringLiteral(":/ts/zh_CN.qm"));
    application.installTranslator(&translator);
    MainWindow window;
    window.show();
    if (!waitFor([&window] { return window.isVisible(); }))
        fail(QStringLiteral("the window did not appear"));

    auto *portField = child<QComboBox>(window, "comboBoxCOM");
    portField->setEditText(port);
    portField->lineEdit()->setCursorPosition(0); // the start of the path, as typed
    child<QAbstractButton>(window, "pushButtonOpen")->click();
    if (!child<QAbstractButton>(window, "pushButtonClose")->isEnabled())
        fail(QStringLiteral("cannot open %1").arg(port));

    // The device information is a native request: switch, ask, wait for the firmware, switch back.
    MessageBoxCloser closer;
    click(window, {"pushButton_ChangeToModbus_2"});
    click(window, {"pushButton_GetInfo"});
    auto *firmware = child<QLabel>(window, "label_softid");
    if (!waitFor([firmware] { return !firmware->text().isEmpty(); }))
        fail(QStringLiteral("no firmware version"));
    static const Step steps[] = {
        {"pushButton_ChangeToModbus"},
        {"pushButton_GetDeviceAddr"},
        {"pushButton_AutoCleanDust", "comboBoxAutoCleanDust", 0},
        {"pushButton_GetHeatMode"},
        {"pushButton_HeatTemp", "comboBox_HeatTemp", 0},
        {"pushButton_HeatHumi", "comboBox_HeatHumi", 0},
        {"pushButton_GetWorkMode"},
        {"pushButton_GetTempHumi"},
        {"pushButton_GetSelfCheck"},
        {"pushButton_GetGlobalOnOff"},
        {"pushButton_Calibrate", "comboBox_Calibrate", 0},
        {"pushButton_GetFactor"},
        {"pushButton_GetSensorData"},
    };
    for (const Step &step : steps)
        click(window, step);
    if (closer.seen.size() != 2)
        fail(QStringLiteral("expected the two protocol-switch messages, saw %1")
                 .arg(closer.seen.size()));

    auto *tabs = child<QTabWidget>(window, "tabWidget");
    tabs->setCurrentIndex(0);
    save(window, out.filePath(QStringLiteral("window.png")));
    for (int index = 0; index < tabs->count(); ++index) {
        tabs->setCurrentIndex(index);
        save(*tabs, out.filePath(tabs->widget(index)->objectName() + QStringLiteral(".png")));
    }

    // What goes wrong most often: a button pressed with the port closed, the port opened at a
    // rate the sensor does not use (the query ends unanswered), a typed value out of range.
    auto *log = child<QTextEdit>(window, "textEditPM");
    log->clear();
    child<QAbstractButton>(window, "pushButtonClose")->click();
    child<QAbstractButton>(window, "pushButton_GetTempHumi")->click();
    if (!waitFor([log] { return !log->toPlainText().isEmpty(); }))
        fail(QStringLiteral("no line for a request with the port closed"));
    auto *rate = child<QComboBox>(window, "comboBox_BoudRate");
    rate->setCurrentIndex(rate->findText(QStringLiteral("4800")));
    child<QAbstractButton>(window, "pushButtonOpen")->click();
    click(window, {"pushButton_GetTempHumi"});
    rate->setCurrentIndex(rate->findText(QStringLiteral("9600")));
    child<QAbstractButton>(window, "pushButtonClose")->click();
    child<QAbstractButton>(window, "pushButtonOpen")->click();
    child<QLineEdit>(window, "lineEdit_HeatTempHigh")->setText(QStringLiteral("300"));
    click(window, {"pushButton_HeatTemp", "comboBox_HeatTemp", 1});
    tabs->setCurrentWidget(child<QWidget>(window, "tab_heat"));
    save(window, out.filePath(QStringLiteral("window_trouble.png")));
    return 0;
}
