// The floor for a Qt Widgets tool: one empty main window, optionally quitting once shown and idle.

#include "quitwhenidle.h"

#include <QApplication>
#include <QMainWindow>

namespace {
// The tool's form size, so that both windows pay for the same backing store.
constexpr int width = 1528;
constexpr int height = 823;
} // namespace

int main(int argc, char *argv[])
{
    const bool quitWhenIdle = quitWhenIdleRequested(argc, argv);
    QApplication application(argc, argv);
    QMainWindow window;
    window.resize(width, height);
    window.show();
    if (quitWhenIdle)
        quitWhenShownAndIdle(window);
    return application.exec();
}
