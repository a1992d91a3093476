// Panels and control constants of the resource "kwd2Steuerung.ui". The values are fixed: operations
// map identifiers to channels by ranges and offsets.
#pragma once

#include <array>
#include <cstddef>

// Panel indices within the resource.
constexpr int PANEL = 1;
constexpr int RECHNERPNL = 4;

// Main panel
constexpr int PANEL_KWDID = 2;
constexpr int PANEL_PORT = 3;
constexpr int PANEL_LED0 = 4;
constexpr int PANEL_LED1 = 5;
constexpr int PANEL_LED2 = 6;
constexpr int PANEL_LED3 = 7;
constexpr int PANEL_LED4 = 8;
constexpr int PANEL_LED5 = 9;
constexpr int PANEL_LED6 = 10;
constexpr int PANEL_LED7 = 11;
constexpr int PANEL_LED8 = 12;
constexpr int PANEL_SCANN = 13;
constexpr int PANEL_IDLESEN = 14;
constexpr int PANEL_IDSTRING = 15;
constexpr int PANEL_UENDWERT = 16;
constexpr int PANEL_IENDWERT = 17;
constexpr int PANEL_MESSEN = 18;
constexpr int PANEL_SPANNUNG = 19;
constexpr int PANEL_STROM = 20;
constexpr int PANEL_LEDPARAMETERSATZ1 = 21;
constexpr int PANEL_LEDPARAMETERSATZ2 = 22;
constexpr int PANEL_LEDBEREICH1 = 23;
constexpr int PANEL_LEDBEREICH2 = 24;
constexpr int PANEL_LEDBEREICH3 = 25;
constexpr int PANEL_SPANNUNGSOLL = 26;
constexpr int PANEL_STROMSOLL = 27;
constexpr int PANEL_UTAUPULS = 28;
constexpr int PANEL_ITAUPULS = 29;
constexpr int PANEL_MESSBEREICHPULS = 30;
constexpr int PANEL_UTAU = 31;
constexpr int PANEL_ITAU = 32;
constexpr int PANEL_MESSBEREICH = 33;
constexpr int PANEL_SPANNUNGPULS = 34;
constexpr int PANEL_STROMPULS = 35;
constexpr int PANEL_ZEITPULS = 36;
constexpr int PANEL_SPANNUNGSOLL2 = 37;
constexpr int PANEL_STROMSOLL2 = 38;
constexpr int PANEL_UTAU2 = 39;
constexpr int PANEL_ITAU2 = 40;
constexpr int PANEL_MESSBEREICH2 = 41;
constexpr int PANEL_PARAMETERLESEN = 42;
constexpr int PANEL_ENDE = 43;
constexpr int PANEL_USOLLV = 44;
constexpr int PANEL_USOLLOFF = 45;
constexpr int PANEL_UISTV = 46;
constexpr int PANEL_UISTOFF = 47;
constexpr int PANEL_ISOLL1V = 48;
constexpr int PANEL_ISOLL1OFF = 49;
constexpr int PANEL_IIST1V = 50;
constexpr int PANEL_DECORATION = 51;
constexpr int PANEL_ISOLL2V = 52;
constexpr int PANEL_ISOLL2OFF = 53;
constexpr int PANEL_IIST2V = 54;
constexpr int PANEL_IIST2OFF = 55;
constexpr int PANEL_ISOLL3V = 56;
constexpr int PANEL_ISOLL3OFF = 57;
constexpr int PANEL_IIST3V = 58;
constexpr int PANEL_IIST3OFF = 59;
constexpr int PANEL_ISOLL4V = 60;
constexpr int PANEL_ISOLL4OFF = 61;
constexpr int PANEL_IIST4V = 62;
constexpr int PANEL_IIST4OFF = 63;
constexpr int PANEL_RECHNER = 64;
constexpr int PANEL_LADEN = 65;
constexpr int PANEL_SPEICHERN = 66;
constexpr int PANEL_KWDLESEN = 67;
constexpr int PANEL_KWDSCHREIBEN = 68;
constexpr int PANEL_TEXT = 69;
constexpr int PANEL_LEDBEREICH4 = 70;
constexpr int PANEL_TIMER = 71;
constexpr int PANEL_FEHLERSTRING = 72;
constexpr int PANEL_FEHLERLED = 73;
constexpr int PANEL_FEHLERNUMMER = 74;
constexpr int PANEL_TEXTMSG_3 = 75;
constexpr int PANEL_DECORATION_2 = 76;
constexpr int PANEL_TEXTMSG_4 = 77;
constexpr int PANEL_TEXTMSG = 78;
constexpr int PANEL_IIST1OFF = 79;
constexpr int PANEL_STOPP = 80;
constexpr int PANEL_START = 81;
constexpr int PANEL_TEXTMSG_6 = 82;
constexpr int PANEL_TEXTMSG_5 = 83;
constexpr int PANEL_PICTURE = 84;
constexpr int PANEL_VERLAUF = 85;  // opens the trend window

// Calculator panel
constexpr int RECHNERPNL_VBISHER = 2;
constexpr int RECHNERPNL_OFFBISHER = 3;
constexpr int RECHNERPNL_USOLLBISHER = 4;
constexpr int RECHNERPNL_UISTBISHER = 5;
constexpr int RECHNERPNL_ISOLL1BISHER = 6;
constexpr int RECHNERPNL_IIST1BISHER = 7;
constexpr int RECHNERPNL_ISOLL2BISHER = 8;
constexpr int RECHNERPNL_IIST2BISHER = 9;
constexpr int RECHNERPNL_ISOLL3BISHER = 10;
constexpr int RECHNERPNL_IIST3BISHER = 11;
constexpr int RECHNERPNL_ISOLL4BISHER = 12;
constexpr int RECHNERPNL_IIST4BISHER = 13;
constexpr int RECHNERPNL_SOLL1 = 14;
constexpr int RECHNERPNL_IST1 = 15;
constexpr int RECHNERPNL_SOLL2 = 16;
constexpr int RECHNERPNL_IST2 = 17;
constexpr int RECHNERPNL_V = 18;
constexpr int RECHNERPNL_OFF = 19;
constexpr int RECHNERPNL_USOLL = 20;
constexpr int RECHNERPNL_UIST = 21;
constexpr int RECHNERPNL_ISOLL1 = 22;
constexpr int RECHNERPNL_IIST1 = 23;
constexpr int RECHNERPNL_ISOLL2 = 24;
constexpr int RECHNERPNL_IIST2 = 25;
constexpr int RECHNERPNL_ISOLL3 = 26;
constexpr int RECHNERPNL_IIST3 = 27;
constexpr int RECHNERPNL_ISOLL4 = 28;
constexpr int RECHNERPNL_IIST4 = 29;
constexpr int RECHNERPNL_ZURUECK = 30;
constexpr int RECHNERPNL_TEXTMSG_5 = 31;
constexpr int RECHNERPNL_TEXTMSG_4 = 32;
constexpr int RECHNERPNL_TEXTMSG_3 = 33;
constexpr int RECHNERPNL_TEXTMSG_6 = 34;
constexpr int RECHNERPNL_TEXTMSG = 35;

// A control's identifier and its constant's name, written once: KWD2_CTRL(PANEL_ENDE) gives
// PANEL_ENDE, "PANEL_ENDE".
#define KWD2_CTRL(id) id, #id

// One calibration channel: its gain and offset factors on the main panel and its "holen aus" /
// "uebernehmen als" buttons on the calculator panel. `name` is the caption of both buttons and
// the stem of the factors' captions.
struct KalibrierKanal {
    const char* name;
    int verstaerkung;
    const char* verstaerkungName;
    int offset;
    const char* offsetName;
    int holenButton;
    const char* holenName;
    int uebernehmenButton;
    const char* uebernehmenName;
};

// The channels in record order, which is also the device's order of its calibration registers
// and the order of the strip on the main panel.
inline constexpr std::array<KalibrierKanal, 10> kKalibrierKanaele{{
    {"Usoll", KWD2_CTRL(PANEL_USOLLV), KWD2_CTRL(PANEL_USOLLOFF), KWD2_CTRL(RECHNERPNL_USOLLBISHER),
     KWD2_CTRL(RECHNERPNL_USOLL)},
    {"Uist", KWD2_CTRL(PANEL_UISTV), KWD2_CTRL(PANEL_UISTOFF), KWD2_CTRL(RECHNERPNL_UISTBISHER),
     KWD2_CTRL(RECHNERPNL_UIST)},
    {"Isoll1", KWD2_CTRL(PANEL_ISOLL1V), KWD2_CTRL(PANEL_ISOLL1OFF), KWD2_CTRL(RECHNERPNL_ISOLL1BISHER),
     KWD2_CTRL(RECHNERPNL_ISOLL1)},
    {"Iist1", KWD2_CTRL(PANEL_IIST1V), KWD2_CTRL(PANEL_IIST1OFF), KWD2_CTRL(RECHNERPNL_IIST1BISHER),
     KWD2_CTRL(RECHNERPNL_IIST1)},  // the offset is 79, not 51
    {"Isoll2", KWD2_CTRL(PANEL_ISOLL2V), KWD2_CTRL(PANEL_ISOLL2OFF), KWD2_CTRL(RECHNERPNL_ISOLL2BISHER),
     KWD2_CTRL(RECHNERPNL_ISOLL2)},
    {"Iist2", KWD2_CTRL(PANEL_IIST2V), KWD2_CTRL(PANEL_IIST2OFF), KWD2_CTRL(RECHNERPNL_IIST2BISHER),
     KWD2_CTRL(RECHNERPNL_IIST2)},
    {"Isoll3", KWD2_CTRL(PANEL_ISOLL3V), KWD2_CTRL(PANEL_ISOLL3OFF), KWD2_CTRL(RECHNERPNL_ISOLL3BISHER),
     KWD2_CTRL(RECHNERPNL_ISOLL3)},
    {"Iist3", KWD2_CTRL(PANEL_IIST3V), KWD2_CTRL(PANEL_IIST3OFF), KWD2_CTRL(RECHNERPNL_IIST3BISHER),
     KWD2_CTRL(RECHNERPNL_IIST3)},
    {"Isoll4", KWD2_CTRL(PANEL_ISOLL4V), KWD2_CTRL(PANEL_ISOLL4OFF), KWD2_CTRL(RECHNERPNL_ISOLL4BISHER),
     KWD2_CTRL(RECHNERPNL_ISOLL4)},
    {"Iist4", KWD2_CTRL(PANEL_IIST4V), KWD2_CTRL(PANEL_IIST4OFF), KWD2_CTRL(RECHNERPNL_IIST4BISHER),
     KWD2_CTRL(RECHNERPNL_IIST4)},
}};

// Factor i of the record (and calibration register i of the device): the gain of channel i / 2
// when i is even, its offset when i is odd.
inline constexpr std::size_t kKalibrierFaktoren = 2 * kKalibrierKanaele.size();
constexpr int KalibrierFaktorControl(std::size_t faktor) {
    const KalibrierKanal& kanal = kKalibrierKanaele[faktor / 2];
    return faktor % 2 == 0 ? kanal.verstaerkung : kanal.offset;
}

// Registers the panel definitions under the resource name "kwd2Steuerung.ui" so that LoadPanel
// can build them. Idempotent.
void RegisterKwd2SteuerungResource();
