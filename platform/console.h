// Start-up of a program without windows (kwd2ctl): the services it uses (serial ports) need the
// process's application object, which this creates without touching any display.
#pragma once

// Returns 1 when the object exists afterwards (created now or before), 0 otherwise.
int InitConsoleRuntime(char** argv);

// Sets an environment variable of this process (the serial layer reads KWD2_COM<n> from it).
// Returns 1 on success, 0 otherwise.
int PutEnv(const char* name, const char* value);
