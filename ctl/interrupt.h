#pragma once

// SIGINT and SIGTERM only set a flag; long-running commands poll it between samples, so the
// sample in flight is finished and written before they stop.
void installInterruptHandlers();
bool interruptRequested();
