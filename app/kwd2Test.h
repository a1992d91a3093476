// The application shell: start-up, callbacks of the main panel, exit sequence.
#pragma once

extern int gPanelHandle;
extern int gRechnerPanelHandle;
extern int gKalibrierModus;

// Start-up steps up to and including LoadIni (everything main does before the event loop).
// Returns 0, or -1 when the run-time engine or a panel cannot be loaded.
int ProgrammStarten(int argc, char* argv[]);

// Binds every callback name of the panel definitions to its function.
void CallbacksRegistrieren();

// Callbacks of the main panel
int Panel_Callback(int panel, int event, void* callbackData, int eventData1, int eventData2);
int Ende(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int PortSelect(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int Scann_Callback(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int IdLesen_Callback(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int Skalenendwerte_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
int Messen(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int TimerCb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int Parameter_Callback(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int ParameterLesen_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
int Kwd2Start_Callback(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int Kwd2Stopp_Callback(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int Kalibrierparameter_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
int KwdLesen_Callback(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int KwdSchreiben_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int DateiSpeichern_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
int DateiLaden_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
int Kalibrierrechner_Callback(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
int Verlauf_Callback(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
