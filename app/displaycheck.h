#pragma once

// True when a window program would start on X11 or Wayland without a display server to talk to,
// where the platform plugin would abort; a platform named on the command line or in
// QT_QPA_PLATFORM counts as a display.
bool displayMissing(int argc, char *argv[]);

// The one line a window program prints on stderr then.
const char *displayMissingMessage(const char *program);
