// Operations behind the main panel's controls: connecting, live readout, output parameters,
// settings persistence and calibration data. Each returns 0 or a negative error code and reads
// its inputs from the panel (panelHandle, see kwd2Test.h).
#pragma once

#include "driver/kalibrierdatensatz.h"

// Error display: the three error controls of the main panel.
void FehlerSetzen(int code);

// Connecting
int SelectComPort();
int CloseComPort();
// When the open port's line itself is gone (hang-up, adapter pulled; not a silent device): closes
// it and sets the port ring to "not open", as after a failed open. Returns 1 then, else 0.
int VerlorenenPortSchliessen();
int IDLesen();
int Kwd2Scann();

// Live readout
int KwdLesen();
void StatusLedsSetzen(int statusByte);
void AnzeigenAufSoll();
void StatusLedsDimmen();

// Output parameters (set: 1, 2, or 3 = pulse phase; anything else acts as 1)
int USchreiben(int parameterSet);
int ISchreiben(int parameterSet);
int UTauSchreiben(int parameterSet);
int ITauSchreiben(int parameterSet);
int MessbereichSchreiben(int parameterSet);
int ZeitSchreiben();
int PulscontrollsDimmen();
int ParameterLesen();
int Kwd2Start();
int Kwd2Stopp();

// Settings file "kwd2steuerung.ini" in the working directory
int LoadIni();
int WriteIni();

// Calibration data
int Kwd2Lesen();
int Kwd2Schreiben();
int DateiSchreiben();
int DateiLesen();
void KalibrierfelderLesen(Kalibrierdatensatz* datensatz);
void KalibrierfelderSetzen(const Kalibrierdatensatz* datensatz);
// The file part of DateiSchreiben: the record with its identification and version set, written
// so that the file is always either the old or the new one whole.
int KalibrierdateiSchreiben(const char* pfad, const Kalibrierdatensatz* datensatz);
void KalibrierparameterAusblenden();

// Module state, read by tests and by the exit sequence.
int KwdTestFunc_ComPort();
double KwdTestFunc_LetzteSpannung();
double KwdTestFunc_LetzterStrom();
const char* KwdTestFunc_DateiPfad();

// Sets the directory the calibration file dialogs open in (shared by the operation files; the
// calibration file operations call it after every dialog that was not cancelled).
void KwdTestFunc_DateiPfadSetzen(const char* verzeichnis);
// The bus address chosen in PANEL_KWDID, read afresh (9 = all devices).
int KwdTestFunc_Adresse();
