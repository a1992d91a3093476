// The trend window as the program's operations see it: plain C types, no Qt. The operations
// report every live-readout tick, measuring on and off, identifications and the set values they
// write or read back; the history grows whether the window is shown or not, and so does a
// recording into a file. Texts are Latin-1.
#pragma once

// A successful tick: measured voltage (V), current (mA) and status byte 1 of the device at
// bus address `adresse`. A reading from another address than the last starts a new series.
void Trend_Messwert(int adresse, double spannung, double strom, int statusByte1);
// A tick whose reading of the device at `adresse` failed with `fehlerCode`: the curves break here.
void Trend_Fehlmessung(int adresse, int fehlerCode);
// Measuring switched on (1) or off (0); off breaks the curves. Repeated reports are harmless.
void Trend_Messen(int ein);
// The identification a device at `adresse` answered with.
void Trend_Kennung(int adresse, const char* kennung);
// A set value written to or read back from the device at `adresse` (9: all devices) for
// parameter set 1, 2 or 3 (pulse phase). `groesse`: 0 voltage (V), 1 current (mA).
void Trend_Sollwert(int adresse, int parameterSatz, int groesse, double wert);
// The full-scale values of the two meters: the default upper ends of the value axes.
void Trend_Skalenendwerte(double spannung, double strom);
// Shows the trend window (a second top-level window); closing it only hides it.
void Trend_Anzeigen();

// What the recording needs from the program: where its errors are shown (the main panel's error
// display) and which COM port (1 to 8, 0 for none) is open.
void Trend_Anbinden(void (*fehlerMelden)(int fehlerCode), int (*comPort)());
// Starts recording every tick into `pfad` (appending to an existing log). A file that cannot
// be opened is reported through `fehlerMelden`; returns 0 or that code.
int Trend_Aufzeichnen(const char* pfad);
// Ends the recording.
void Trend_AufzeichnungBeenden();
