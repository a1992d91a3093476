// The calibration calculator: derives a channel's new gain and offset from two measured points
// and the channel's present factors, and moves factors between its own panel and the twenty
// calibration controls of the main panel. It never talks to the device and reports no errors.
#pragma once

// The calculator works on two panels that the shell loads: the main panel (calibration
// controls) and the calculator panel. Call once after both are loaded.
void Kalibrierrechner_SetPanels(int mainPanel, int rechnerPanel);

// Binds the calculator panel's callback names to the functions below. Call before the
// calculator panel is loaded.
void Kalibrierrechner_CallbacksRegistrieren();

// New gain and offset from the two points and the present factors, into RECHNERPNL_V / _OFF.
void KalibrierdatenBerechnen();
// "holen aus" button k (4..13): the channel's factors into the "bisher" fields, then recompute.
void KalibrierdatenHolen(int control);
// "übernehmen als" button k (20..29): the results into the channel's controls of the main panel.
void KalibrierdatenUebernehmen(int control);
// All twenty channel buttons black, then button k and k + 16 green when k is 4..13.
void RechnerbuttonsHervorheben(int control);

// Callbacks of the calculator panel; each returns 0.
int Rechnerpanel_Callback(int panel, int event, void* callbackData, int eventData1, int eventData2);
int RechnerZurueck_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
int RechnerEingabe_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
int RechnerHolen_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int RechnerUebernehmen_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
