// Panel definitions of the resource "kwd2Steuerung.ui": the main panel and the calculator panel.
// Texts are Latin-1 bytes.
#include "ui/kwd2Steuerung.h"

#include <array>
#include <climits>
#include <limits>
#include <string>

#include "platform/paneldef.h"

namespace {

constexpr const char* kResource = "kwd2Steuerung.ui";
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kSpinArrows = 16;  // widths below are given without the arrows
// The calibration factors and the calculator's numerics sit close together: they stay low (the
// text box of 15 pixels plus room for the arrows) so that neighbours and headings keep clear.
constexpr int kSmallNumericHeight = 18;

CtrlDef Control(int id, const char* name, CtrlKind kind, int top, int left, int width = 0, int height = 0) {
    CtrlDef def;
    def.id = id;
    def.constName = name;
    def.kind = kind;
    def.top = top;
    def.left = left;
    def.width = width;
    def.height = height;
    return def;
}

CtrlDef Captioned(CtrlDef def, const char* label, LabelSide side, int labelTop = -1, int labelLeft = -1) {
    def.label = label;
    def.labelSide = side;
    def.labelTop = labelTop;
    def.labelLeft = labelLeft;
    return def;
}

struct Range {
    double defaultValue;
    double minValue;
    double maxValue;
    double step;
    int digits;
};

CtrlDef Numeric(int id, const char* name, int top, int left, int width, Range range, const char* callback,
                int height = 0) {
    CtrlDef def = Control(id, name, CtrlKind::Numeric, top, left, width + kSpinArrows, height);
    def.defaultValue = range.defaultValue;
    def.minValue = range.minValue;
    def.maxValue = range.maxValue;
    def.step = range.step;
    def.digits = range.digits;
    def.callback = callback;
    return def;
}

CtrlDef Ring(int id, const char* name, int top, int left, int width, std::vector<RingItem> items,
             const char* callback) {
    CtrlDef def = Control(id, name, CtrlKind::Ring, top, left, width);
    def.items = std::move(items);
    def.defaultValue = def.items.front().value;
    def.callback = callback;
    return def;
}

CtrlDef Button(int id, const char* name, const char* caption, int top, int left, int width, int height,
               const char* callback) {
    CtrlDef def = Control(id, name, CtrlKind::Command, top, left, width, height);
    def.label = caption;
    def.callback = callback;
    return def;
}

CtrlDef Text(int id, const char* name, const char* text, int top, int left, int width = 0, int height = 0) {
    CtrlDef def = Control(id, name, CtrlKind::TextMessage, top, left, width, height);
    def.label = text;
    return def;
}

CtrlDef Led(int id, const char* name, int top, int left, int size, int onColor) {
    CtrlDef def = Control(id, name, CtrlKind::Led, top, left, size, size);
    def.onColor = onColor;
    return def;
}

// ---------------------------------------------------------------------------------------------
// Main panel

void AddConnection(std::vector<CtrlDef>& c) {
    std::vector<RingItem> addresses;
    for (int a = 0; a <= 8; ++a) addresses.push_back({std::to_string(a), a});
    addresses.push_back({"alle", 9});
    c.push_back(Captioned(Ring(PANEL_KWDID, "PANEL_KWDID", 44, 36, 74, addresses, ""), "KWD-2 Adresse",
                          LabelSide::Above, 23));
    std::vector<RingItem> ports{{"not open", 0}};
    for (int p = 1; p <= 8; ++p) ports.push_back({"COM" + std::to_string(p), p});
    c.push_back(Captioned(Ring(PANEL_PORT, "PANEL_PORT", 104, 38, 74, ports, "PortSelect"), "COM-Port",
                          LabelSide::Above, 83));

    constexpr std::array<int, 9> kLedLefts{167, 191, 216, 240, 265, 290, 314, 339, 364};
    static const std::array<const char*, 9> kLedNames{"PANEL_LED0", "PANEL_LED1", "PANEL_LED2",
                                                      "PANEL_LED3", "PANEL_LED4", "PANEL_LED5",
                                                      "PANEL_LED6", "PANEL_LED7", "PANEL_LED8"};
    for (int i = 0; i < 9; ++i) {
        const std::string caption = std::to_string(i);
        CtrlDef led = Led(PANEL_LED0 + i, kLedNames[i], 28, kLedLefts[i], 14, 0x00CC00);
        led.label = caption;
        led.labelSide = LabelSide::Below;
        led.labelTop = 48;
        led.labelLeft = kLedLefts[i] + 3;
        c.push_back(led);
    }
    c.push_back(Button(PANEL_SCANN, "PANEL_SCANN", "Scann", 21, 412, 53, 23, "Scann_Callback"));
    c.push_back(Button(PANEL_IDLESEN, "PANEL_IDLESEN", "ID Lesen", 21, 478, 57, 23, "IdLesen_Callback"));
    CtrlDef id = Captioned(Control(PANEL_IDSTRING, "PANEL_IDSTRING", CtrlKind::String, 55, 413, 129, 21),
                           "ID", LabelSide::Right, -1, 554);
    id.displayOnly = true;
    c.push_back(id);
    c.push_back(Text(PANEL_TEXT, "PANEL_TEXT", "...", 73, 168));
}

void AddMeasurement(std::vector<CtrlDef>& c) {
    c.push_back(Captioned(Numeric(PANEL_UENDWERT, "PANEL_UENDWERT", 165, 55, 43, {250, 1, 250, 1, 0},
                                  "Skalenendwerte_Callback"),
                          "Skalen-\nendwerte", LabelSide::Left, 171, 10));
    c.push_back(Numeric(PANEL_IENDWERT, "PANEL_IENDWERT", 191, 55, 43, {6000, 1, 6000, 1, 0},
                        "Skalenendwerte_Callback"));

    CtrlDef messen = Captioned(Control(PANEL_MESSEN, "PANEL_MESSEN", CtrlKind::Toggle, 116, 142, 20, 50),
                               "Messen", LabelSide::Below, 168, 132);
    messen.onText = "ein";
    messen.offText = "aus";
    messen.callback = "Messen";
    c.push_back(messen);

    struct MeterRow {
        int id;
        const char* name;
        const char* caption;
        int left;
        double maximum;
        int digits;
    };
    for (const MeterRow& m : {MeterRow{PANEL_SPANNUNG, "PANEL_SPANNUNG", "Spannung/V", 214, 250, 2},
                              MeterRow{PANEL_STROM, "PANEL_STROM", "Strom/mA", 413, 6000, 1}}) {
        CtrlDef meter = Captioned(Control(m.id, m.name, CtrlKind::Meter, 111, m.left, 149, 58), m.caption,
                                  LabelSide::Above, 90);
        meter.maxValue = m.maximum;
        meter.digits = m.digits;
        meter.step = m.id == PANEL_STROM ? 0.1 : 1.0;
        meter.displayOnly = true;
        c.push_back(meter);
    }

    CtrlDef timer = Control(PANEL_TIMER, "PANEL_TIMER", CtrlKind::Timer, 0, 0);
    timer.interval = 0.5;
    timer.callback = "TimerCb";
    c.push_back(timer);

    struct Lamp {
        int id;
        const char* name;
        const char* caption;
        int top;
    };
    for (const Lamp& l : {Lamp{PANEL_LEDPARAMETERSATZ1, "PANEL_LEDPARAMETERSATZ1", "Parametersatz 1", 251},
                          Lamp{PANEL_LEDPARAMETERSATZ2, "PANEL_LEDPARAMETERSATZ2", "Parametersatz 2", 273},
                          Lamp{PANEL_LEDBEREICH1, "PANEL_LEDBEREICH1", "I-Messbereich 1", 295},
                          Lamp{PANEL_LEDBEREICH2, "PANEL_LEDBEREICH2", "I-Messbereich 2", 317},
                          Lamp{PANEL_LEDBEREICH3, "PANEL_LEDBEREICH3", "I-Messbereich 3", 339},
                          Lamp{PANEL_LEDBEREICH4, "PANEL_LEDBEREICH4", "I-Messbereich 4", 361}}) {
        c.push_back(
            Captioned(Led(l.id, l.name, l.top, 15, 16, 0x00CC00), l.caption, LabelSide::Right, -1, 35));
    }
}

// One row of the parameter area: the quantity in set 1, set 2 and the pulse phase.
struct ParameterRow {
    int ids[3];
    const char* names[3];
    const char* captions[3];
    int tops[3];
    Range range;
};

void AddParameters(std::vector<CtrlDef>& c) {
    constexpr int kLefts[3] = {411, 592, 233};
    constexpr Range kVolts{0, 0, 250, 1, 2};
    constexpr Range kMilliamps{0, 0, 6000, 1, 2};
    constexpr Range kSeconds{0, 0, 6000, 1, 3};
    const ParameterRow rows[] = {
        {{PANEL_SPANNUNGSOLL, PANEL_SPANNUNGSOLL2, PANEL_SPANNUNGPULS},
         {"PANEL_SPANNUNGSOLL", "PANEL_SPANNUNGSOLL2", "PANEL_SPANNUNGPULS"},
         {"U [V]", "U [V]", "Upuls [V]"},
         {252, 252, 309},
         kVolts},
        {{PANEL_STROMSOLL, PANEL_STROMSOLL2, PANEL_STROMPULS},
         {"PANEL_STROMSOLL", "PANEL_STROMSOLL2", "PANEL_STROMPULS"},
         {"I [mA]", "I [mA]", "Ipuls [mA]"},
         {277, 277, 334},
         kMilliamps},
        {{PANEL_UTAU, PANEL_UTAU2, PANEL_UTAUPULS},
         {"PANEL_UTAU", "PANEL_UTAU2", "PANEL_UTAUPULS"},
         {"Tau(U) [sek]", "Tau(U) [sek]", "Tau(U) [sek]"},
         {303, 303, 385},
         kSeconds},
        {{PANEL_ITAU, PANEL_ITAU2, PANEL_ITAUPULS},
         {"PANEL_ITAU", "PANEL_ITAU2", "PANEL_ITAUPULS"},
         {"Tau(I) [sek]", "Tau(I) [sek]", "Tau(I) [sek]"},
         {328, 328, 411},
         kSeconds},
    };
    for (const ParameterRow& row : rows) {
        for (int set = 0; set < 3; ++set) {
            c.push_back(Captioned(Numeric(row.ids[set], row.names[set], row.tops[set], kLefts[set],
                                          68 - kSpinArrows, row.range, "Parameter_Callback"),
                                  row.captions[set], LabelSide::Left));
        }
    }
    c.push_back(Captioned(
        Numeric(PANEL_ZEITPULS, "PANEL_ZEITPULS", 360, 233, 68 - kSpinArrows, kSeconds, "Parameter_Callback"),
        "tpuls [sek]", LabelSide::Left));

    const std::vector<RingItem> ranges{
        {"Auto", 0}, {"Bereich 1", 1}, {"Bereich 2", 2}, {"Bereich 3", 3}, {"Bereich 4", 4}};
    const int ringIds[3] = {PANEL_MESSBEREICH, PANEL_MESSBEREICH2, PANEL_MESSBEREICHPULS};
    const char* ringNames[3] = {"PANEL_MESSBEREICH", "PANEL_MESSBEREICH2", "PANEL_MESSBEREICHPULS"};
    const int ringTops[3] = {354, 354, 437};
    for (int set = 0; set < 3; ++set) {
        c.push_back(Captioned(
            Ring(ringIds[set], ringNames[set], ringTops[set], kLefts[set], 76, ranges, "Parameter_Callback"),
            "Messbereich", LabelSide::Left));
    }

    c.push_back(Button(PANEL_START, "PANEL_START", "Start", 389, 324, 51, 23, "Kwd2Start_Callback"));
    c.push_back(Button(PANEL_STOPP, "PANEL_STOPP", "Stopp", 422, 324, 51, 23, "Kwd2Stopp_Callback"));
    c.push_back(Button(PANEL_PARAMETERLESEN, "PANEL_PARAMETERLESEN",
                       "Parameter zur\xfc"
                       "cklesen",
                       445, 532, 119, 23, "ParameterLesen_Callback"));
    c.push_back(Button(PANEL_ENDE, "PANEL_ENDE", "__Ende", 492, 611, 40, 23, "Ende"));
    // Between the error number and "Ende", in both run modes.
    c.push_back(Button(PANEL_VERLAUF, "PANEL_VERLAUF", "Verlauf", 492, 516, 80, 23, "Verlauf_Callback"));

    c.push_back(Text(PANEL_TEXTMSG, "PANEL_TEXTMSG", "Parametersatz 1", 217, 378));
    c.push_back(Text(PANEL_TEXTMSG_4, "PANEL_TEXTMSG_4", "Parametersatz 2", 217, 559));
    c.push_back(Text(PANEL_TEXTMSG_3, "PANEL_TEXTMSG_3", "Signalanstiegszeiten = ca. 5 bis 7 x Tau", 408, 500,
                     190, 15));
    c.push_back(
        Text(PANEL_TEXTMSG_5, "PANEL_TEXTMSG_5",
             "Impulsausgabe:\n- Ausgabe eines Pulses mit \n  Start oder bei Umschaltung\n  von Par.2 auf "
             "Par.1\n- Danach Ausgabe von Par.1\n- Puls nicht aktiv wenn tpuls = 0",
             217, 160, 153, 80));
    c.push_back(Text(PANEL_TEXTMSG_6, "PANEL_TEXTMSG_6",
                     "Start = Pulsausgabe\nStopp = Ausgang\n             auf Null\n(Parametersatz 1\nmuss "
                     "angew\xe4"
                     "hlt\nsein).",
                     381, 387, 98, 80));
    c.push_back(Control(PANEL_DECORATION, "PANEL_DECORATION", CtrlKind::Decoration, 211, 146, 348, 265));
    c.push_back(Control(PANEL_DECORATION_2, "PANEL_DECORATION_2", CtrlKind::Decoration, 211, 508, 167, 187));
}

void AddErrorRow(std::vector<CtrlDef>& c) {
    CtrlDef text =
        Captioned(Control(PANEL_FEHLERSTRING, "PANEL_FEHLERSTRING", CtrlKind::String, 493, 96, 319, 21),
                  "Fehler", LabelSide::Left, 495, 29);
    text.displayOnly = true;
    c.push_back(text);
    c.push_back(Led(PANEL_FEHLERLED, "PANEL_FEHLERLED", 494, 67, 20, 0xFF0000));
    CtrlDef number = Control(PANEL_FEHLERNUMMER, "PANEL_FEHLERNUMMER", CtrlKind::Numeric, 493, 415, 84, 21);
    number.intData = true;
    number.minValue = INT_MIN;
    number.maxValue = INT_MAX;
    number.displayOnly = true;
    c.push_back(number);
    CtrlDef picture = Control(PANEL_PICTURE, "PANEL_PICTURE", CtrlKind::Picture, 12, 634, 48, 47);
    picture.image = "logo";
    c.push_back(picture);
}

void AddCalibrationStrip(std::vector<CtrlDef>& c) {
    struct Factor {
        int id;
        const char* name;
        const char* caption;
    };
    static const Factor kFactors[] = {
        {PANEL_USOLLV, "PANEL_USOLLV", "Usoll v"},    {PANEL_USOLLOFF, "PANEL_USOLLOFF", "Usoll off"},
        {PANEL_UISTV, "PANEL_UISTV", "Uist v"},       {PANEL_UISTOFF, "PANEL_UISTOFF", "Uist off"},
        {PANEL_ISOLL1V, "PANEL_ISOLL1V", "Isoll1 v"}, {PANEL_ISOLL1OFF, "PANEL_ISOLL1OFF", "Isoll1 off"},
        {PANEL_IIST1V, "PANEL_IIST1V", "Iist1 v"},    {PANEL_IIST1OFF, "PANEL_IIST1OFF", "Iist1 off"},
        {PANEL_ISOLL2V, "PANEL_ISOLL2V", "Isoll2 v"}, {PANEL_ISOLL2OFF, "PANEL_ISOLL2OFF", "Isoll2 off"},
        {PANEL_IIST2V, "PANEL_IIST2V", "Iist2 v"},    {PANEL_IIST2OFF, "PANEL_IIST2OFF", "Iist2 off"},
        {PANEL_ISOLL3V, "PANEL_ISOLL3V", "Isoll3 v"}, {PANEL_ISOLL3OFF, "PANEL_ISOLL3OFF", "Isoll3 off"},
        {PANEL_IIST3V, "PANEL_IIST3V", "Iist3 v"},    {PANEL_IIST3OFF, "PANEL_IIST3OFF", "Iist3 off"},
        {PANEL_ISOLL4V, "PANEL_ISOLL4V", "Isoll4 v"}, {PANEL_ISOLL4OFF, "PANEL_ISOLL4OFF", "Isoll4 off"},
        {PANEL_IIST4V, "PANEL_IIST4V", "Iist4 v"},    {PANEL_IIST4OFF, "PANEL_IIST4OFF", "Iist4 off"},
    };
    constexpr int kTops[] = {23,  45,  68,  91,  114, 137, 160, 183, 206, 229,
                             251, 274, 297, 320, 343, 366, 389, 412, 435, 458};
    for (int i = 0; i < 20; ++i) {
        const bool gain = i % 2 == 0;
        const Range range{gain ? 1.0 : 0.0, -kInf, kInf, 1, 5};
        c.push_back(Captioned(Numeric(kFactors[i].id, kFactors[i].name, kTops[i], 777, 60, range,
                                      "Kalibrierparameter_Callback", kSmallNumericHeight),
                              kFactors[i].caption, LabelSide::Left, -1, 722));
    }

    struct Command {
        int id;
        const char* name;
        const char* callback;
        const char* image;
        int left;
    };
    for (const Command& b :
         {Command{PANEL_RECHNER, "PANEL_RECHNER", "Kalibrierrechner_Callback", "rechner", 716},
          Command{PANEL_LADEN, "PANEL_LADEN", "DateiLaden_Callback", "laden", 744},
          Command{PANEL_SPEICHERN, "PANEL_SPEICHERN", "DateiSpeichern_Callback", "speichern", 772},
          Command{PANEL_KWDLESEN, "PANEL_KWDLESEN", "KwdLesen_Callback", "kwdlesen", 800},
          Command{PANEL_KWDSCHREIBEN, "PANEL_KWDSCHREIBEN", "KwdSchreiben_Callback", "kwdschreiben", 829}}) {
        CtrlDef button = Control(b.id, b.name, CtrlKind::PictureButton, 488, b.left, 22, 22);
        button.callback = b.callback;
        button.image = b.image;
        c.push_back(button);
    }
}

PanelDef MainPanel() {
    PanelDef panel;
    panel.index = PANEL;
    panel.constName = "PANEL";
    panel.title = "KWD2-Steuerung";
    panel.top = 38;
    panel.left = 20;
    panel.width = 697;
    panel.height = 533;
    panel.callback = "Panel_Callback";
    AddConnection(panel.controls);
    AddMeasurement(panel.controls);
    AddParameters(panel.controls);
    AddErrorRow(panel.controls);
    AddCalibrationStrip(panel.controls);
    return panel;
}

// ---------------------------------------------------------------------------------------------
// Calculator panel

PanelDef CalculatorPanel() {
    PanelDef panel;
    panel.index = RECHNERPNL;
    panel.constName = "RECHNERPNL";
    panel.title = "Kalibrierfaktorenberechnung";
    panel.top = 101;
    panel.left = 85;
    panel.width = 411;
    panel.height = 317;
    panel.callback = "Rechnerpanel_Callback";
    auto& c = panel.controls;

    struct Input {
        int id;
        const char* name;
        const char* caption;
        int top;
        int left;
        double defaultValue;
        const char* callback;
        int labelLeft;
    };
    for (const Input& in : {
             Input{RECHNERPNL_VBISHER, "RECHNERPNL_VBISHER", "V", 56, 29, 1, "RechnerEingabe_Callback", 8},
             Input{RECHNERPNL_OFFBISHER, "RECHNERPNL_OFFBISHER", "Off", 81, 29, 0, "RechnerEingabe_Callback",
                   4},
             Input{RECHNERPNL_SOLL1, "RECHNERPNL_SOLL1", "Soll 1", 57, 182, 0, "RechnerEingabe_Callback", -1},
             Input{RECHNERPNL_IST1, "RECHNERPNL_IST1", "Ist 1", 84, 182, 0, "RechnerEingabe_Callback", -1},
             Input{RECHNERPNL_SOLL2, "RECHNERPNL_SOLL2", "Soll 2", 130, 182, 0, "RechnerEingabe_Callback",
                   -1},
             Input{RECHNERPNL_IST2, "RECHNERPNL_IST2", "Ist 2", 156, 182, 0, "RechnerEingabe_Callback", -1},
             Input{RECHNERPNL_V, "RECHNERPNL_V", "V", 58, 316, 1, "", -1},
             Input{RECHNERPNL_OFF, "RECHNERPNL_OFF", "Off", 83, 316, 0, "", -1},
         }) {
        c.push_back(Captioned(Numeric(in.id, in.name, in.top, in.left, 77,
                                      {in.defaultValue, -kInf, kInf, 1, 6}, in.callback, kSmallNumericHeight),
                              in.caption, LabelSide::Left, -1, in.labelLeft));
    }

    static const char* const kChannels[10] = {"Usoll", "Uist",   "Isoll1", "Iist1",  "Isoll2",
                                              "Iist2", "Isoll3", "Iist3",  "Isoll4", "Iist4"};
    static const char* const kHolenNames[10] = {"RECHNERPNL_USOLLBISHER",  "RECHNERPNL_UISTBISHER",
                                                "RECHNERPNL_ISOLL1BISHER", "RECHNERPNL_IIST1BISHER",
                                                "RECHNERPNL_ISOLL2BISHER", "RECHNERPNL_IIST2BISHER",
                                                "RECHNERPNL_ISOLL3BISHER", "RECHNERPNL_IIST3BISHER",
                                                "RECHNERPNL_ISOLL4BISHER", "RECHNERPNL_IIST4BISHER"};
    static const char* const kUebernehmenNames[10] = {
        "RECHNERPNL_USOLL",  "RECHNERPNL_UIST",  "RECHNERPNL_ISOLL1", "RECHNERPNL_IIST1",
        "RECHNERPNL_ISOLL2", "RECHNERPNL_IIST2", "RECHNERPNL_ISOLL3", "RECHNERPNL_IIST3",
        "RECHNERPNL_ISOLL4", "RECHNERPNL_IIST4"};
    for (int i = 0; i < 10; ++i) {
        const int top = 125 + (i * (288 - 125) + 4) / 9;  // evenly from 125 to 288
        c.push_back(Button(RECHNERPNL_USOLLBISHER + i, kHolenNames[i], kChannels[i], top, 45, 43, 15,
                           "RechnerHolen_Callback"));
        c.push_back(Button(RECHNERPNL_USOLL + i, kUebernehmenNames[i], kChannels[i], top, 335, 43, 15,
                           "RechnerUebernehmen_Callback"));
    }
    c.push_back(Button(RECHNERPNL_ZURUECK, "RECHNERPNL_ZURUECK",
                       "Fenster schlie\xdf"
                       "en",
                       274, 170, 94, 23, "RechnerZurueck_Callback"));
    c.push_back(Text(RECHNERPNL_TEXTMSG_5, "RECHNERPNL_TEXTMSG_5", "Messungen", 22, 187));
    c.push_back(Text(RECHNERPNL_TEXTMSG_4, "RECHNERPNL_TEXTMSG_4", "V/Off neu", 22, 321));
    c.push_back(Text(RECHNERPNL_TEXTMSG_3, "RECHNERPNL_TEXTMSG_3", "V/Off bisher", 22, 33));
    c.push_back(Text(RECHNERPNL_TEXTMSG_6, "RECHNERPNL_TEXTMSG_6",
                     "\xfc"
                     "bernehmen als",
                     105, 317));
    c.push_back(Text(RECHNERPNL_TEXTMSG, "RECHNERPNL_TEXTMSG", "holen aus", 106, 43));
    return panel;
}

}  // namespace

void RegisterKwd2SteuerungResource() {
    RegisterPanelResource(kResource, {MainPanel(), CalculatorPanel()});
}
