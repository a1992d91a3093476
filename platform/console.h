// Start-up of a program without windows (kwd2ctl): the services it uses (serial ports) need the
// process's application object, which this creates without touching any display.
#pragma once

// Returns 1 when the object exists afterwards (created now or before), 0 otherwise.
int InitConsoleRuntime(char** argv);
