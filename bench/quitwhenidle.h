#pragma once

class QWidget;

// Quits the application the first time its event loop is about to wait for events once
// `window` has been exposed: start-up to the first shown window, then idle.
void quitWhenShownAndIdle(QWidget &window);

// True when the arguments ask for that (--quit-when-idle).
bool quitWhenIdleRequested(int argc, char *argv[]);
