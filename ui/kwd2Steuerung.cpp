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

// A control's identifier with its constant's name.
struct Named {
    int id;
    const char* name;
};

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
    CtrlDef def = Control(id, name, CtrlKind::kNumeric, top, left, width + kSpinArrows, height);
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
    CtrlDef def = Control(id, name, CtrlKind::kRing, top, left, width);
    def.items = std::move(items);
    def.defaultValue = def.items.front().value;
    def.callback = callback;
    return def;
}

CtrlDef Button(int id, const char* name, const char* caption, int top, int left, int width, int height,
               const char* callback) {
    CtrlDef def = Control(id, name, CtrlKind::kCommand, top, left, width, height);
    def.label = caption;
    def.callback = callback;
    return def;
}

CtrlDef Text(int id, const char* name, const char* text, int top, int left, int width = 0, int height = 0) {
    CtrlDef def = Control(id, name, CtrlKind::kTextMessage, top, left, width, height);
    def.label = text;
    return def;
}

CtrlDef Led(int id, const char* name, int top, int left, int size, int onColor) {
    CtrlDef def = Control(id, name, CtrlKind::kLed, top, left, size, size);
    def.onColor = onColor;
    return def;
}

// ---------------------------------------------------------------------------------------------
// Main panel

void AddConnection(std::vector<CtrlDef>& c) {
    std::vector<RingItem> addresses;
    for (int a = 0; a <= 8; ++a) addresses.push_back({std::to_string(a), a});
    addresses.push_back({"alle", 9});
    c.push_back(Captioned(Ring(KWD2_CTRL(PANEL_KWDID), 44, 36, 74, addresses, ""), "KWD-2 Adresse",
                          LabelSide::kAbove, 23));
    std::vector<RingItem> ports{{"not open", 0}};
    for (int p = 1; p <= 8; ++p) ports.push_back({"COM" + std::to_string(p), p});
    c.push_back(Captioned(Ring(KWD2_CTRL(PANEL_PORT), 104, 38, 74, ports, "PortSelect"), "COM-Port",
                          LabelSide::kAbove, 83));

    constexpr std::array<int, 9> kLedLefts{167, 191, 216, 240, 265, 290, 314, 339, 364};
    constexpr Named kLeds[9]{{KWD2_CTRL(PANEL_LED0)}, {KWD2_CTRL(PANEL_LED1)}, {KWD2_CTRL(PANEL_LED2)},
                             {KWD2_CTRL(PANEL_LED3)}, {KWD2_CTRL(PANEL_LED4)}, {KWD2_CTRL(PANEL_LED5)},
                             {KWD2_CTRL(PANEL_LED6)}, {KWD2_CTRL(PANEL_LED7)}, {KWD2_CTRL(PANEL_LED8)}};
    for (int i = 0; i < 9; ++i) {
        const std::string caption = std::to_string(i);
        CtrlDef led = Led(kLeds[i].id, kLeds[i].name, 28, kLedLefts[i], 14, 0x00CC00);
        led.label = caption;
        led.labelSide = LabelSide::kBelow;
        led.labelTop = 48;
        led.labelLeft = kLedLefts[i] + 3;
        c.push_back(led);
    }
    c.push_back(Button(KWD2_CTRL(PANEL_SCANN), "Scann", 21, 412, 53, 23, "Scann_Callback"));
    c.push_back(Button(KWD2_CTRL(PANEL_IDLESEN), "ID Lesen", 21, 478, 57, 23, "IdLesen_Callback"));
    CtrlDef id = Captioned(Control(KWD2_CTRL(PANEL_IDSTRING), CtrlKind::kString, 55, 413, 129, 21), "ID",
                           LabelSide::kRight, -1, 554);
    id.displayOnly = true;
    c.push_back(id);
    c.push_back(Text(KWD2_CTRL(PANEL_TEXT), "...", 73, 168));
}

void AddMeasurement(std::vector<CtrlDef>& c) {
    c.push_back(Captioned(
        Numeric(KWD2_CTRL(PANEL_UENDWERT), 165, 55, 43, {250, 1, 250, 1, 0}, "Skalenendwerte_Callback"),
        "Skalen-\nendwerte", LabelSide::kLeft, 171, 10));
    c.push_back(
        Numeric(KWD2_CTRL(PANEL_IENDWERT), 191, 55, 43, {6000, 1, 6000, 1, 0}, "Skalenendwerte_Callback"));

    CtrlDef messen = Captioned(Control(KWD2_CTRL(PANEL_MESSEN), CtrlKind::kToggle, 116, 142, 20, 50),
                               "Messen", LabelSide::kBelow, 168, 132);
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
    for (const MeterRow& m : {MeterRow{KWD2_CTRL(PANEL_SPANNUNG), "Spannung/V", 214, 250, 2},
                              MeterRow{KWD2_CTRL(PANEL_STROM), "Strom/mA", 413, 6000, 1}}) {
        CtrlDef meter = Captioned(Control(m.id, m.name, CtrlKind::kMeter, 111, m.left, 149, 58), m.caption,
                                  LabelSide::kAbove, 90);
        meter.maxValue = m.maximum;
        meter.digits = m.digits;
        meter.step = m.id == PANEL_STROM ? 0.1 : 1.0;
        meter.displayOnly = true;
        c.push_back(meter);
    }

    CtrlDef timer = Control(KWD2_CTRL(PANEL_TIMER), CtrlKind::kTimer, 0, 0);
    timer.interval = 0.5;
    timer.callback = "TimerCb";
    c.push_back(timer);

    struct Lamp {
        int id;
        const char* name;
        const char* caption;
        int top;
    };
    for (const Lamp& l : {Lamp{KWD2_CTRL(PANEL_LEDPARAMETERSATZ1), "Parametersatz 1", 251},
                          Lamp{KWD2_CTRL(PANEL_LEDPARAMETERSATZ2), "Parametersatz 2", 273},
                          Lamp{KWD2_CTRL(PANEL_LEDBEREICH1), "I-Messbereich 1", 295},
                          Lamp{KWD2_CTRL(PANEL_LEDBEREICH2), "I-Messbereich 2", 317},
                          Lamp{KWD2_CTRL(PANEL_LEDBEREICH3), "I-Messbereich 3", 339},
                          Lamp{KWD2_CTRL(PANEL_LEDBEREICH4), "I-Messbereich 4", 361}}) {
        c.push_back(
            Captioned(Led(l.id, l.name, l.top, 15, 16, 0x00CC00), l.caption, LabelSide::kRight, -1, 35));
    }
}

// One row of the parameter area: the quantity in set 1, set 2 and the pulse phase.
struct ParameterRow {
    Named controls[3];
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
        {{{KWD2_CTRL(PANEL_SPANNUNGSOLL)}, {KWD2_CTRL(PANEL_SPANNUNGSOLL2)}, {KWD2_CTRL(PANEL_SPANNUNGPULS)}},
         {"U [V]", "U [V]", "Upuls [V]"},
         {252, 252, 309},
         kVolts},
        {{{KWD2_CTRL(PANEL_STROMSOLL)}, {KWD2_CTRL(PANEL_STROMSOLL2)}, {KWD2_CTRL(PANEL_STROMPULS)}},
         {"I [mA]", "I [mA]", "Ipuls [mA]"},
         {277, 277, 334},
         kMilliamps},
        {{{KWD2_CTRL(PANEL_UTAU)}, {KWD2_CTRL(PANEL_UTAU2)}, {KWD2_CTRL(PANEL_UTAUPULS)}},
         {"Tau(U) [sek]", "Tau(U) [sek]", "Tau(U) [sek]"},
         {303, 303, 385},
         kSeconds},
        {{{KWD2_CTRL(PANEL_ITAU)}, {KWD2_CTRL(PANEL_ITAU2)}, {KWD2_CTRL(PANEL_ITAUPULS)}},
         {"Tau(I) [sek]", "Tau(I) [sek]", "Tau(I) [sek]"},
         {328, 328, 411},
         kSeconds},
    };
    for (const ParameterRow& row : rows) {
        for (int set = 0; set < 3; ++set) {
            c.push_back(Captioned(Numeric(row.controls[set].id, row.controls[set].name, row.tops[set],
                                          kLefts[set], 68 - kSpinArrows, row.range, "Parameter_Callback"),
                                  row.captions[set], LabelSide::kLeft));
        }
    }
    c.push_back(Captioned(
        Numeric(KWD2_CTRL(PANEL_ZEITPULS), 360, 233, 68 - kSpinArrows, kSeconds, "Parameter_Callback"),
        "tpuls [sek]", LabelSide::kLeft));

    const std::vector<RingItem> ranges{
        {"Auto", 0}, {"Bereich 1", 1}, {"Bereich 2", 2}, {"Bereich 3", 3}, {"Bereich 4", 4}};
    constexpr Named kRings[3] = {
        {KWD2_CTRL(PANEL_MESSBEREICH)}, {KWD2_CTRL(PANEL_MESSBEREICH2)}, {KWD2_CTRL(PANEL_MESSBEREICHPULS)}};
    const int ringTops[3] = {354, 354, 437};
    for (int set = 0; set < 3; ++set) {
        c.push_back(Captioned(Ring(kRings[set].id, kRings[set].name, ringTops[set], kLefts[set], 76, ranges,
                                   "Parameter_Callback"),
                              "Messbereich", LabelSide::kLeft));
    }

    c.push_back(Button(KWD2_CTRL(PANEL_START), "Start", 389, 324, 51, 23, "Kwd2Start_Callback"));
    c.push_back(Button(KWD2_CTRL(PANEL_STOPP), "Stopp", 422, 324, 51, 23, "Kwd2Stopp_Callback"));
    c.push_back(Button(KWD2_CTRL(PANEL_PARAMETERLESEN),
                       "Parameter zur\xfc"
                       "cklesen",
                       445, 532, 119, 23, "ParameterLesen_Callback"));
    c.push_back(Button(KWD2_CTRL(PANEL_ENDE), "__Ende", 492, 611, 40, 23, "Ende"));
    // Between the error number and "Ende", in both run modes.
    c.push_back(Button(KWD2_CTRL(PANEL_VERLAUF), "Verlauf", 492, 516, 80, 23, "Verlauf_Callback"));

    c.push_back(Text(KWD2_CTRL(PANEL_TEXTMSG), "Parametersatz 1", 217, 378));
    c.push_back(Text(KWD2_CTRL(PANEL_TEXTMSG_4), "Parametersatz 2", 217, 559));
    c.push_back(
        Text(KWD2_CTRL(PANEL_TEXTMSG_3), "Signalanstiegszeiten = ca. 5 bis 7 x Tau", 408, 500, 190, 15));
    c.push_back(
        Text(KWD2_CTRL(PANEL_TEXTMSG_5),
             "Impulsausgabe:\n- Ausgabe eines Pulses mit \n  Start oder bei Umschaltung\n  von Par.2 auf "
             "Par.1\n- Danach Ausgabe von Par.1\n- Puls nicht aktiv wenn tpuls = 0",
             217, 160, 153, 80));
    c.push_back(Text(KWD2_CTRL(PANEL_TEXTMSG_6),
                     "Start = Pulsausgabe\nStopp = Ausgang\n             auf Null\n(Parametersatz 1\nmuss "
                     "angew\xe4"
                     "hlt\nsein).",
                     381, 387, 98, 80));
    c.push_back(Control(KWD2_CTRL(PANEL_DECORATION), CtrlKind::kDecoration, 211, 146, 348, 265));
    c.push_back(Control(KWD2_CTRL(PANEL_DECORATION_2), CtrlKind::kDecoration, 211, 508, 167, 187));
}

void AddErrorRow(std::vector<CtrlDef>& c) {
    CtrlDef text = Captioned(Control(KWD2_CTRL(PANEL_FEHLERSTRING), CtrlKind::kString, 493, 96, 319, 21),
                             "Fehler", LabelSide::kLeft, 495, 29);
    text.displayOnly = true;
    c.push_back(text);
    c.push_back(Led(KWD2_CTRL(PANEL_FEHLERLED), 494, 67, 20, 0xFF0000));
    CtrlDef number = Control(KWD2_CTRL(PANEL_FEHLERNUMMER), CtrlKind::kNumeric, 493, 415, 84, 21);
    number.intData = true;
    number.minValue = INT_MIN;
    number.maxValue = INT_MAX;
    number.displayOnly = true;
    c.push_back(number);
    CtrlDef picture = Control(KWD2_CTRL(PANEL_PICTURE), CtrlKind::kPicture, 12, 634, 48, 47);
    picture.image = "logo";
    c.push_back(picture);
}

void AddCalibrationStrip(std::vector<CtrlDef>& c) {
    constexpr int kTops[] = {23,  45,  68,  91,  114, 137, 160, 183, 206, 229,
                             251, 274, 297, 320, 343, 366, 389, 412, 435, 458};
    for (std::size_t i = 0; i < kKalibrierFaktoren; ++i) {
        const KalibrierKanal& kanal = kKalibrierKanaele[i / 2];
        const bool gain = i % 2 == 0;
        const Range range{gain ? 1.0 : 0.0, -kInf, kInf, 1, 5};
        const std::string caption = std::string(kanal.name) + (gain ? " v" : " off");
        c.push_back(
            Captioned(Numeric(KalibrierFaktorControl(i), gain ? kanal.verstaerkungName : kanal.offsetName,
                              kTops[i], 777, 60, range, "Kalibrierparameter_Callback", kSmallNumericHeight),
                      caption.c_str(), LabelSide::kLeft, -1, 722));
    }

    struct Command {
        int id;
        const char* name;
        const char* callback;
        const char* image;
        int left;
    };
    for (const Command& b :
         {Command{KWD2_CTRL(PANEL_RECHNER), "Kalibrierrechner_Callback", "rechner", 716},
          Command{KWD2_CTRL(PANEL_LADEN), "DateiLaden_Callback", "laden", 744},
          Command{KWD2_CTRL(PANEL_SPEICHERN), "DateiSpeichern_Callback", "speichern", 772},
          Command{KWD2_CTRL(PANEL_KWDLESEN), "KwdLesen_Callback", "kwdlesen", 800},
          Command{KWD2_CTRL(PANEL_KWDSCHREIBEN), "KwdSchreiben_Callback", "kwdschreiben", 829}}) {
        CtrlDef button = Control(b.id, b.name, CtrlKind::kPictureButton, 488, b.left, 22, 22);
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
             Input{KWD2_CTRL(RECHNERPNL_VBISHER), "V", 56, 29, 1, "RechnerEingabe_Callback", 8},
             Input{KWD2_CTRL(RECHNERPNL_OFFBISHER), "Off", 81, 29, 0, "RechnerEingabe_Callback", 4},
             Input{KWD2_CTRL(RECHNERPNL_SOLL1), "Soll 1", 57, 182, 0, "RechnerEingabe_Callback", -1},
             Input{KWD2_CTRL(RECHNERPNL_IST1), "Ist 1", 84, 182, 0, "RechnerEingabe_Callback", -1},
             Input{KWD2_CTRL(RECHNERPNL_SOLL2), "Soll 2", 130, 182, 0, "RechnerEingabe_Callback", -1},
             Input{KWD2_CTRL(RECHNERPNL_IST2), "Ist 2", 156, 182, 0, "RechnerEingabe_Callback", -1},
             Input{KWD2_CTRL(RECHNERPNL_V), "V", 58, 316, 1, "", -1},
             Input{KWD2_CTRL(RECHNERPNL_OFF), "Off", 83, 316, 0, "", -1},
         }) {
        c.push_back(Captioned(Numeric(in.id, in.name, in.top, in.left, 77,
                                      {in.defaultValue, -kInf, kInf, 1, 6}, in.callback, kSmallNumericHeight),
                              in.caption, LabelSide::kLeft, -1, in.labelLeft));
    }

    for (std::size_t i = 0; i < kKalibrierKanaele.size(); ++i) {
        const KalibrierKanal& kanal = kKalibrierKanaele[i];
        const int top = 125 + (static_cast<int>(i) * (288 - 125) + 4) / 9;  // evenly from 125 to 288
        c.push_back(
            Button(kanal.holenButton, kanal.holenName, kanal.name, top, 45, 43, 15, "RechnerHolen_Callback"));
        c.push_back(Button(kanal.uebernehmenButton, kanal.uebernehmenName, kanal.name, top, 335, 43, 15,
                           "RechnerUebernehmen_Callback"));
    }
    c.push_back(Button(KWD2_CTRL(RECHNERPNL_ZURUECK),
                       "Fenster schlie\xdf"
                       "en",
                       274, 170, 94, 23, "RechnerZurueck_Callback"));
    c.push_back(Text(KWD2_CTRL(RECHNERPNL_TEXTMSG_5), "Messungen", 22, 187));
    c.push_back(Text(KWD2_CTRL(RECHNERPNL_TEXTMSG_4), "V/Off neu", 22, 321));
    c.push_back(Text(KWD2_CTRL(RECHNERPNL_TEXTMSG_3), "V/Off bisher", 22, 33));
    c.push_back(Text(KWD2_CTRL(RECHNERPNL_TEXTMSG_6),
                     "\xfc"
                     "bernehmen als",
                     105, 317));
    c.push_back(Text(KWD2_CTRL(RECHNERPNL_TEXTMSG), "holen aus", 106, 43));
    return panel;
}

}  // namespace

void RegisterKwd2SteuerungResource() {
    RegisterPanelResource(kResource, {MainPanel(), CalculatorPanel()});
}
