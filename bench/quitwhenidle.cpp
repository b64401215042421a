#include "quitwhenidle.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <cstring>

void quitWhenShownAndIdle(QWidget &window)
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    QPointer<QWidget> watched(&window);
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, qApp, [watched] {
        // Posted paints run before the loop blocks, so an exposed window has been drawn.
        if (watched && watched->windowHandle() && watched->windowHandle()->isExposed())
            QCoreApplication::quit();
    });
}

bool quitWhenIdleRequested(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quit-when-idle") == 0)
            return true;
    return false;
}
