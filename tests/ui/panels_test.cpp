// The two panel definitions: every control with its kind, caption and callback name, defaults
// and ranges, and the places of a few controls, checked on the loaded panels.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <cmath>
#include <functional>
#include <set>

#include "platform/paneldef.h"
#include "platform/userint.h"
#include "platform/userint_qt.h"
#include "platform/userint_testing.h"
#include "ui/kwd2Steuerung.h"

namespace {

struct Expected {
    int id;
    const char* name;
    CtrlKind kind;
    const char* caption;
    const char* callback;
};

constexpr CtrlKind N = CtrlKind::kNumeric;
constexpr CtrlKind B = CtrlKind::kCommand;
constexpr CtrlKind L = CtrlKind::kLed;
constexpr CtrlKind R = CtrlKind::kRing;
constexpr CtrlKind T = CtrlKind::kTextMessage;
constexpr CtrlKind P = CtrlKind::kPictureButton;

const Expected kMain[] = {
    {PANEL_KWDID, "PANEL_KWDID", R, "KWD-2 Adresse", ""},
    {PANEL_PORT, "PANEL_PORT", R, "COM-Port", "PortSelect"},
    {PANEL_LED0, "PANEL_LED0", L, "0", ""},
    {PANEL_LED8, "PANEL_LED8", L, "8", ""},
    {PANEL_SCANN, "PANEL_SCANN", B, "Scann", "Scann_Callback"},
    {PANEL_IDLESEN, "PANEL_IDLESEN", B, "ID Lesen", "IdLesen_Callback"},
    {PANEL_IDSTRING, "PANEL_IDSTRING", CtrlKind::kString, "ID", ""},
    {PANEL_TEXT, "PANEL_TEXT", T, "...", ""},
    {PANEL_UENDWERT, "PANEL_UENDWERT", N, "Skalen-\nendwerte", "Skalenendwerte_Callback"},
    {PANEL_IENDWERT, "PANEL_IENDWERT", N, "", "Skalenendwerte_Callback"},
    {PANEL_MESSEN, "PANEL_MESSEN", CtrlKind::kToggle, "Messen", "Messen"},
    {PANEL_SPANNUNG, "PANEL_SPANNUNG", CtrlKind::kMeter, "Spannung/V", ""},
    {PANEL_STROM, "PANEL_STROM", CtrlKind::kMeter, "Strom/mA", ""},
    {PANEL_TIMER, "PANEL_TIMER", CtrlKind::kTimer, "", "TimerCb"},
    {PANEL_LEDPARAMETERSATZ1, "PANEL_LEDPARAMETERSATZ1", L, "Parametersatz 1", ""},
    {PANEL_LEDPARAMETERSATZ2, "PANEL_LEDPARAMETERSATZ2", L, "Parametersatz 2", ""},
    {PANEL_LEDBEREICH1, "PANEL_LEDBEREICH1", L, "I-Messbereich 1", ""},
    {PANEL_LEDBEREICH4, "PANEL_LEDBEREICH4", L, "I-Messbereich 4", ""},
    {PANEL_SPANNUNGSOLL, "PANEL_SPANNUNGSOLL", N, "U [V]", "Parameter_Callback"},
    {PANEL_STROMSOLL2, "PANEL_STROMSOLL2", N, "I [mA]", "Parameter_Callback"},
    {PANEL_SPANNUNGPULS, "PANEL_SPANNUNGPULS", N, "Upuls [V]", "Parameter_Callback"},
    {PANEL_STROMPULS, "PANEL_STROMPULS", N, "Ipuls [mA]", "Parameter_Callback"},
    {PANEL_UTAUPULS, "PANEL_UTAUPULS", N, "Tau(U) [sek]", "Parameter_Callback"},
    {PANEL_ITAU2, "PANEL_ITAU2", N, "Tau(I) [sek]", "Parameter_Callback"},
    {PANEL_ZEITPULS, "PANEL_ZEITPULS", N, "tpuls [sek]", "Parameter_Callback"},
    {PANEL_MESSBEREICH, "PANEL_MESSBEREICH", R, "Messbereich", "Parameter_Callback"},
    {PANEL_MESSBEREICHPULS, "PANEL_MESSBEREICHPULS", R, "Messbereich", "Parameter_Callback"},
    {PANEL_START, "PANEL_START", B, "Start", "Kwd2Start_Callback"},
    {PANEL_STOPP, "PANEL_STOPP", B, "Stopp", "Kwd2Stopp_Callback"},
    {PANEL_PARAMETERLESEN, "PANEL_PARAMETERLESEN", B,
     "Parameter zur\xfc"
     "cklesen",
     "ParameterLesen_Callback"},
    {PANEL_ENDE, "PANEL_ENDE", B, "__Ende", "Ende"},
    {PANEL_VERLAUF, "PANEL_VERLAUF", B, "Verlauf", "Verlauf_Callback"},
    {PANEL_TEXTMSG, "PANEL_TEXTMSG", T, "Parametersatz 1", ""},
    {PANEL_TEXTMSG_4, "PANEL_TEXTMSG_4", T, "Parametersatz 2", ""},
    {PANEL_TEXTMSG_3, "PANEL_TEXTMSG_3", T, "Signalanstiegszeiten = ca. 5 bis 7 x Tau", ""},
    {PANEL_TEXTMSG_5, "PANEL_TEXTMSG_5", T,
     "Impulsausgabe:\n- Ausgabe eines Pulses mit \n  Start oder bei Umschaltung\n  von Par.2 auf Par.1\n"
     "- Danach Ausgabe von Par.1\n- Puls nicht aktiv wenn tpuls = 0",
     ""},
    {PANEL_TEXTMSG_6, "PANEL_TEXTMSG_6", T,
     "Start = Pulsausgabe\nStopp = Ausgang\n             auf Null\n(Parametersatz 1\nmuss angew\xe4"
     "hlt\nsein).",
     ""},
    {PANEL_USOLLV, "PANEL_USOLLV", N, "Usoll v", "Kalibrierparameter_Callback"},
    {PANEL_IIST1OFF, "PANEL_IIST1OFF", N, "Iist1 off", "Kalibrierparameter_Callback"},
    {PANEL_IIST4OFF, "PANEL_IIST4OFF", N, "Iist4 off", "Kalibrierparameter_Callback"},
    {PANEL_RECHNER, "PANEL_RECHNER", P, "", "Kalibrierrechner_Callback"},
    {PANEL_LADEN, "PANEL_LADEN", P, "", "DateiLaden_Callback"},
    {PANEL_SPEICHERN, "PANEL_SPEICHERN", P, "", "DateiSpeichern_Callback"},
    {PANEL_KWDLESEN, "PANEL_KWDLESEN", P, "", "KwdLesen_Callback"},
    {PANEL_KWDSCHREIBEN, "PANEL_KWDSCHREIBEN", P, "", "KwdSchreiben_Callback"},
    {PANEL_FEHLERSTRING, "PANEL_FEHLERSTRING", CtrlKind::kString, "Fehler", ""},
    {PANEL_FEHLERLED, "PANEL_FEHLERLED", L, "", ""},
    {PANEL_FEHLERNUMMER, "PANEL_FEHLERNUMMER", N, "", ""},
    {PANEL_DECORATION, "PANEL_DECORATION", CtrlKind::kDecoration, "", ""},
    {PANEL_DECORATION_2, "PANEL_DECORATION_2", CtrlKind::kDecoration, "", ""},
    {PANEL_PICTURE, "PANEL_PICTURE", CtrlKind::kPicture, "", ""},
};

const Expected kCalculator[] = {
    {RECHNERPNL_VBISHER, "RECHNERPNL_VBISHER", N, "V", "RechnerEingabe_Callback"},
    {RECHNERPNL_OFFBISHER, "RECHNERPNL_OFFBISHER", N, "Off", "RechnerEingabe_Callback"},
    {RECHNERPNL_USOLLBISHER, "RECHNERPNL_USOLLBISHER", B, "Usoll", "RechnerHolen_Callback"},
    {RECHNERPNL_IIST1BISHER, "RECHNERPNL_IIST1BISHER", B, "Iist1", "RechnerHolen_Callback"},
    {RECHNERPNL_IIST4BISHER, "RECHNERPNL_IIST4BISHER", B, "Iist4", "RechnerHolen_Callback"},
    {RECHNERPNL_SOLL1, "RECHNERPNL_SOLL1", N, "Soll 1", "RechnerEingabe_Callback"},
    {RECHNERPNL_IST2, "RECHNERPNL_IST2", N, "Ist 2", "RechnerEingabe_Callback"},
    {RECHNERPNL_V, "RECHNERPNL_V", N, "V", ""},
    {RECHNERPNL_OFF, "RECHNERPNL_OFF", N, "Off", ""},
    {RECHNERPNL_USOLL, "RECHNERPNL_USOLL", B, "Usoll", "RechnerUebernehmen_Callback"},
    {RECHNERPNL_ISOLL3, "RECHNERPNL_ISOLL3", B, "Isoll3", "RechnerUebernehmen_Callback"},
    {RECHNERPNL_IIST4, "RECHNERPNL_IIST4", B, "Iist4", "RechnerUebernehmen_Callback"},
    {RECHNERPNL_ZURUECK, "RECHNERPNL_ZURUECK", B,
     "Fenster schlie\xdf"
     "en",
     "RechnerZurueck_Callback"},
    {RECHNERPNL_TEXTMSG_5, "RECHNERPNL_TEXTMSG_5", T, "Messungen", ""},
    {RECHNERPNL_TEXTMSG_4, "RECHNERPNL_TEXTMSG_4", T, "V/Off neu", ""},
    {RECHNERPNL_TEXTMSG_3, "RECHNERPNL_TEXTMSG_3", T, "V/Off bisher", ""},
    {RECHNERPNL_TEXTMSG_6, "RECHNERPNL_TEXTMSG_6", T,
     "\xfc"
     "bernehmen als",
     ""},
    {RECHNERPNL_TEXTMSG, "RECHNERPNL_TEXTMSG", T, "holen aus", ""},
};

const CtrlDef* FindDef(const PanelDef& panel, int id) {
    for (const CtrlDef& def : panel.controls) {
        if (def.id == id) return &def;
    }
    return nullptr;
}

class PanelsTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        RegisterKwd2SteuerungResource();
        main_ = LoadPanel(0, "kwd2Steuerung.ui", PANEL);
        calc_ = LoadPanel(0, "kwd2Steuerung.ui", RECHNERPNL);
    }
    static const PanelDef& MainDef() { return *FindPanelDef("kwd2Steuerung.ui", PANEL); }
    static const PanelDef& CalcDef() { return *FindPanelDef("kwd2Steuerung.ui", RECHNERPNL); }
    static QRect Geometry(int panel, int control) { return uiqt::ControlWidget(panel, control)->geometry(); }
    static int main_;
    static int calc_;
};
int PanelsTest::main_ = 0;
int PanelsTest::calc_ = 0;

void CheckTable(const PanelDef& panel, const Expected* begin, const Expected* end) {
    for (const Expected* e = begin; e != end; ++e) {
        const CtrlDef* def = FindDef(panel, e->id);
        ASSERT_NE(def, nullptr) << e->name;
        EXPECT_EQ(def->constName, e->name);
        EXPECT_EQ(def->kind, e->kind) << e->name;
        EXPECT_EQ(def->label, e->caption) << e->name;
        EXPECT_EQ(def->callback, e->callback) << e->name;
    }
}

TEST_F(PanelsTest, BothPanelsLoadWithTitleAndSize) {
    ASSERT_GT(main_, 0);
    ASSERT_GT(calc_, 0);
    char title[64];
    GetPanelAttribute(main_, ATTR_TITLE, title);
    EXPECT_STREQ(title, "KWD2-Steuerung");
    GetPanelAttribute(calc_, ATTR_TITLE, title);
    EXPECT_STREQ(title, "Kalibrierfaktorenberechnung");
    EXPECT_EQ(uiqt::PanelWidget(main_)->geometry(), QRect(20, 38, 697, 533));
    EXPECT_EQ(uiqt::PanelWidget(calc_)->geometry(), QRect(85, 101, 411, 317));
    EXPECT_EQ(MainDef().callback, "Panel_Callback");
    EXPECT_EQ(CalcDef().callback, "Rechnerpanel_Callback");
}

TEST_F(PanelsTest, EveryIdentifierExistsOnce) {
    for (const PanelDef* panel : {&MainDef(), &CalcDef()}) {
        std::set<int> ids;
        for (const CtrlDef& def : panel->controls) EXPECT_TRUE(ids.insert(def.id).second) << def.constName;
        const int last = panel == &MainDef() ? PANEL_VERLAUF : RECHNERPNL_TEXTMSG;
        EXPECT_EQ(ids.size(), static_cast<std::size_t>(last - 1));
        EXPECT_EQ(*ids.begin(), 2);
        EXPECT_EQ(*ids.rbegin(), last);
    }
}

TEST_F(PanelsTest, ControlsHaveTheirKindCaptionAndCallback) {
    CheckTable(MainDef(), std::begin(kMain), std::end(kMain));
    CheckTable(CalcDef(), std::begin(kCalculator), std::end(kCalculator));
}

TEST_F(PanelsTest, DefaultsAndRanges) {
    struct Numeric {
        int panel;
        int id;
        double value;
        double min;
        double max;
        int digits;
        double step = 1;  // every numeric steps by 1
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Numeric cases[] = {
        {.panel = PANEL, .id = PANEL_UENDWERT, .value = 250, .min = 1, .max = 250, .digits = 0},
        {.panel = PANEL, .id = PANEL_IENDWERT, .value = 6000, .min = 1, .max = 6000, .digits = 0},
        {.panel = PANEL, .id = PANEL_SPANNUNGSOLL, .value = 0, .min = 0, .max = 250, .digits = 2},
        {.panel = PANEL, .id = PANEL_STROMPULS, .value = 0, .min = 0, .max = 6000, .digits = 2},
        {.panel = PANEL, .id = PANEL_ITAU2, .value = 0, .min = 0, .max = 6000, .digits = 3},
        {.panel = PANEL, .id = PANEL_ZEITPULS, .value = 0, .min = 0, .max = 6000, .digits = 3},
        {.panel = PANEL, .id = PANEL_USOLLV, .value = 1, .min = -inf, .max = inf, .digits = 5},
        {.panel = PANEL, .id = PANEL_IIST1OFF, .value = 0, .min = -inf, .max = inf, .digits = 5},
        {.panel = RECHNERPNL, .id = RECHNERPNL_VBISHER, .value = 1, .min = -inf, .max = inf, .digits = 6},
        {.panel = RECHNERPNL, .id = RECHNERPNL_IST2, .value = 0, .min = -inf, .max = inf, .digits = 6},
        {.panel = RECHNERPNL, .id = RECHNERPNL_V, .value = 1, .min = -inf, .max = inf, .digits = 6},
    };
    for (const Numeric& c : cases) {
        const int panel = c.panel == PANEL ? main_ : calc_;
        const CtrlDef* def = FindDef(c.panel == PANEL ? MainDef() : CalcDef(), c.id);
        ASSERT_NE(def, nullptr);
        double value = -1;
        EXPECT_EQ(GetCtrlVal(panel, c.id, &value), 0);
        EXPECT_EQ(value, c.value) << def->constName;
        EXPECT_EQ(def->minValue, c.min) << def->constName;
        EXPECT_EQ(def->maxValue, c.max) << def->constName;
        EXPECT_EQ(def->step, c.step) << def->constName;
        EXPECT_EQ(def->digits, c.digits) << def->constName;
    }
    // The error number holds an int over the full range.
    int number = -1;
    EXPECT_EQ(GetCtrlVal(main_, PANEL_FEHLERNUMMER, &number), 0);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(SetCtrlVal(main_, PANEL_FEHLERNUMMER, 2147483647), 0);
    GetCtrlVal(main_, PANEL_FEHLERNUMMER, &number);
    EXPECT_EQ(number, 2147483647);
    // The scale maximum coerces, as the full-scale operation relies on.
    EXPECT_EQ(SetCtrlVal(main_, PANEL_UENDWERT, 300.0), 0);
    double coerced = 0;
    GetCtrlVal(main_, PANEL_UENDWERT, &coerced);
    EXPECT_EQ(coerced, 250);

    double maximum = 0;
    GetCtrlAttribute(main_, PANEL_STROM, ATTR_MAX_VALUE, &maximum);
    EXPECT_EQ(maximum, 6000);
    EXPECT_EQ(FindDef(MainDef(), PANEL_SPANNUNG)->digits, 2);
    EXPECT_EQ(FindDef(MainDef(), PANEL_STROM)->digits, 1);
    double interval = 0;
    GetCtrlAttribute(main_, PANEL_TIMER, ATTR_INTERVAL, &interval);
    EXPECT_EQ(interval, 0.5);
}

TEST_F(PanelsTest, RingItems) {
    auto* address = qobject_cast<QComboBox*>(uiqt::ControlWidget(main_, PANEL_KWDID));
    ASSERT_EQ(address->count(), 10);
    EXPECT_EQ(address->itemText(9), QStringLiteral("alle"));
    EXPECT_EQ(address->itemData(9).toInt(), 9);
    EXPECT_EQ(address->itemText(4), QStringLiteral("4"));
    auto* port = qobject_cast<QComboBox*>(uiqt::ControlWidget(main_, PANEL_PORT));
    ASSERT_EQ(port->count(), 9);
    EXPECT_EQ(port->itemText(0), QStringLiteral("not open"));
    EXPECT_EQ(port->itemText(8), QStringLiteral("COM8"));
    EXPECT_EQ(port->itemData(8).toInt(), 8);
    for (const int id : {PANEL_MESSBEREICH, PANEL_MESSBEREICH2, PANEL_MESSBEREICHPULS}) {
        auto* range = qobject_cast<QComboBox*>(uiqt::ControlWidget(main_, id));
        ASSERT_EQ(range->count(), 5);
        EXPECT_EQ(range->itemText(0), QStringLiteral("Auto"));
        EXPECT_EQ(range->itemText(4), QStringLiteral("Bereich 4"));
        EXPECT_EQ(range->itemData(4).toInt(), 4);
    }
}

TEST_F(PanelsTest, PlacesOfControls) {
    EXPECT_EQ(Geometry(main_, PANEL_KWDID).topLeft(), QPoint(36, 44));
    EXPECT_EQ(Geometry(main_, PANEL_LED4), QRect(265, 28, 14, 14));
    EXPECT_EQ(Geometry(main_, PANEL_SCANN), QRect(412, 21, 53, 23));
    EXPECT_EQ(Geometry(main_, PANEL_ENDE), QRect(611, 492, 40, 23));
    EXPECT_EQ(Geometry(main_, PANEL_VERLAUF), QRect(516, 492, 80, 23));
    EXPECT_LT(Geometry(main_, PANEL_FEHLERNUMMER).right(), 516);
    EXPECT_EQ(Geometry(main_, PANEL_DECORATION), QRect(146, 211, 348, 265));
    EXPECT_EQ(Geometry(main_, PANEL_ZEITPULS).topLeft(), QPoint(233, 360));
    EXPECT_EQ(Geometry(main_, PANEL_SPANNUNG).topLeft(), QPoint(214, 111));
    EXPECT_EQ(Geometry(main_, PANEL_SPANNUNG).width(), 149);
    EXPECT_EQ(Geometry(main_, PANEL_IIST1OFF).topLeft(), QPoint(777, 183));
    EXPECT_EQ(Geometry(main_, PANEL_KWDSCHREIBEN), QRect(829, 488, 22, 22));
    EXPECT_EQ(uiqt::CaptionWidget(main_, PANEL_SPANNUNGSOLL)->geometry().right() + 1, 396);
    EXPECT_EQ(uiqt::CaptionWidget(main_, PANEL_FEHLERSTRING)->pos(), QPoint(29, 495));
    EXPECT_EQ(Geometry(calc_, RECHNERPNL_ZURUECK), QRect(170, 274, 94, 23));
    EXPECT_EQ(Geometry(calc_, RECHNERPNL_USOLLBISHER).topLeft(), QPoint(45, 125));
    EXPECT_EQ(Geometry(calc_, RECHNERPNL_IIST4).topLeft(), QPoint(335, 288));
    // Every calibration control lies in the strip right of the normal width.
    for (int id = PANEL_USOLLV; id <= PANEL_KWDSCHREIBEN; ++id) {
        if (id == PANEL_DECORATION) continue;
        EXPECT_GT(Geometry(main_, id).left(), 697) << id;
    }
    EXPECT_GT(Geometry(main_, PANEL_IIST1OFF).left(), 697);
}

// Nothing the operator reads may be cut or hidden under a neighbour, whatever font the system
// gives: fixed texts stay inside their boxes, captions left of a control end before it, ring
// items fit their ring, and everything lies inside the window.
TEST_F(PanelsTest, TextsFitTheirPlaces) {
    for (const auto& [panel, def] : {std::pair{main_, &MainDef()}, std::pair{calc_, &CalcDef()}}) {
        for (const CtrlDef& c : def->controls) {
            QWidget* widget = uiqt::ControlWidget(panel, c.id);
            if (widget == nullptr) continue;
            const QRect box = widget->geometry();
            EXPECT_GE(box.left(), 0) << c.constName;
            EXPECT_LE(box.right(), c.left >= 697 ? 869 : 696) << c.constName;
            if (c.kind == CtrlKind::kTextMessage) {
                EXPECT_GE(box.width(), widget->sizeHint().width()) << c.constName;
                EXPECT_GE(box.height(), widget->sizeHint().height()) << c.constName;
                if (c.width > 0) {
                    EXPECT_LE(box.width(), c.width) << c.constName;
                }
            }
            if (c.kind == CtrlKind::kRing) {
                EXPECT_LE(widget->sizeHint().width(), box.width()) << c.constName;
            }
            const QLabel* caption = uiqt::CaptionWidget(panel, c.id);
            if (caption == nullptr) continue;
            EXPECT_GE(caption->width(), caption->sizeHint().width()) << c.constName;
            EXPECT_GE(caption->geometry().left(), 0) << c.constName;
            if (c.labelSide == LabelSide::kLeft) {
                EXPECT_LT(caption->geometry().right(), box.left()) << c.constName;
            }
        }
    }
    // The two-line caption of the full-scale values stays where it was placed, left of both.
    const QRect scale = uiqt::CaptionWidget(main_, PANEL_UENDWERT)->geometry();
    EXPECT_EQ(scale.topLeft(), QPoint(10, 171));
    EXPECT_LT(scale.right(), Geometry(main_, PANEL_IENDWERT).left());
    // A text written later is fitted again.
    const char* longer = "Signalanstiegszeiten = ca. 5 bis 7 x Tau (U und I)";
    ASSERT_EQ(SetCtrlVal(main_, PANEL_TEXTMSG_3, longer), 0);
    QWidget* hint = uiqt::ControlWidget(main_, PANEL_TEXTMSG_3);
    EXPECT_GE(hint->width(), hint->sizeHint().width());
    SetCtrlVal(main_, PANEL_TEXTMSG_3, "Signalanstiegszeiten = ca. 5 bis 7 x Tau");
    EXPECT_LE(hint->width(), 190);
}

TEST_F(PanelsTest, TextsReachTheWidgetsAsLatin1) {
    auto* zurueck = qobject_cast<QPushButton*>(uiqt::ControlWidget(calc_, RECHNERPNL_ZURUECK));
    EXPECT_EQ(zurueck->text(), QString::fromUtf8("Fenster schließen"));
    EXPECT_EQ(qobject_cast<QPushButton*>(uiqt::ControlWidget(main_, PANEL_ENDE))->text(),
              QStringLiteral("&Ende"));
    char text[256];
    EXPECT_EQ(GetCtrlVal(calc_, RECHNERPNL_TEXTMSG_6, text), 0);
    EXPECT_STREQ(text,
                 "\xfc"
                 "bernehmen als");
    EXPECT_EQ(uiqt::CaptionWidget(main_, PANEL_UENDWERT)->text(), QStringLiteral("Skalen-\nendwerte"));
}

TEST_F(PanelsTest, CaptionsSitWhereTheLayoutPutsThem) {
    struct Place {
        int id;
        int top;   // -1: not fixed
        int left;  // -1: not fixed
    };
    for (const Place& p :
         {Place{PANEL_KWDID, 23, -1}, Place{PANEL_PORT, 83, -1}, Place{PANEL_LED0, 48, -1},
          Place{PANEL_LED8, 48, -1}, Place{PANEL_IDSTRING, -1, 554}, Place{PANEL_MESSEN, 168, -1},
          Place{PANEL_SPANNUNG, 90, 214}, Place{PANEL_STROM, 90, 413}, Place{PANEL_LEDPARAMETERSATZ1, -1, 35},
          Place{PANEL_LEDBEREICH4, -1, 35}, Place{PANEL_USOLLV, -1, 722}, Place{PANEL_IIST4OFF, -1, 722}}) {
        const QLabel* caption = uiqt::CaptionWidget(main_, p.id);
        ASSERT_NE(caption, nullptr) << p.id;
        if (p.top >= 0) {
            EXPECT_EQ(caption->y(), p.top) << p.id;
        }
        if (p.left >= 0) {
            EXPECT_EQ(caption->x(), p.left) << p.id;
        }
    }
    // Captions left of the parameter numerics end where the layout says, 15 pixels before them.
    for (const int id : {PANEL_ZEITPULS, PANEL_MESSBEREICHPULS, PANEL_UTAU, PANEL_MESSBEREICH2}) {
        EXPECT_EQ(uiqt::CaptionWidget(main_, id)->geometry().right() + 1 + 15, Geometry(main_, id).left())
            << id;
    }
    // The calculator's headings.
    EXPECT_EQ(Geometry(calc_, RECHNERPNL_TEXTMSG_3).topLeft(), QPoint(33, 22));
    EXPECT_EQ(Geometry(calc_, RECHNERPNL_TEXTMSG_5).topLeft(), QPoint(187, 22));
    EXPECT_EQ(Geometry(calc_, RECHNERPNL_TEXTMSG_4).topLeft(), QPoint(321, 22));
    EXPECT_EQ(Geometry(calc_, RECHNERPNL_TEXTMSG).topLeft(), QPoint(43, 106));
    EXPECT_EQ(Geometry(calc_, RECHNERPNL_TEXTMSG_6).topLeft(), QPoint(317, 105));
    // Numerics above the two "holen aus"/"übernehmen als" headings end before them.
    EXPECT_LT(Geometry(calc_, RECHNERPNL_OFFBISHER).bottom(), 106);
    EXPECT_LT(Geometry(calc_, RECHNERPNL_OFF).bottom(), 105);
}

// The font a label ends up with when each candidate size is set on it and its own size hint
// asked: what the panels chose before fitting measured candidates without setting them.
int FittedBySizeHint(const QLabel& label, const std::function<bool(QSize)>& fits) {
    QLabel probe(label.text(), label.parentWidget());
    probe.setAlignment(label.alignment());
    QFont font = label.parentWidget()->font();
    font.setPixelSize(QFontInfo(font).pixelSize());
    probe.setFont(font);
    while (font.pixelSize() > 8 && !fits(probe.sizeHint())) {
        font.setPixelSize(font.pixelSize() - 1);
        probe.setFont(font);
    }
    return font.pixelSize();
}

TEST_F(PanelsTest, LabelsGetTheFontAndSizeTheirOwnSizeHintGives) {
    for (const auto& [panel, def] : {std::pair{main_, &MainDef()}, std::pair{calc_, &CalcDef()}}) {
        for (const CtrlDef& c : def->controls) {
            QWidget* widget = uiqt::ControlWidget(panel, c.id);
            if (c.kind == CtrlKind::kTextMessage && c.width > 0) {
                const auto* text = static_cast<const QLabel*>(widget);
                const int size =
                    FittedBySizeHint(*text, [&c](QSize hint) { return hint.width() <= c.width; });
                EXPECT_EQ(text->font().pixelSize(), size) << c.constName;
                const QSize hint = text->sizeHint();
                EXPECT_EQ(text->size(),
                          QSize(c.width, c.height > 0 ? c.height : hint.height()).expandedTo(hint))
                    << c.constName;
            }
            const QLabel* caption = uiqt::CaptionWidget(panel, c.id);
            if (caption == nullptr) continue;
            EXPECT_EQ(caption->size(), caption->sizeHint()) << c.constName;
            if (c.labelSide == LabelSide::kLeft && c.labelLeft >= 0) {
                const int size = FittedBySizeHint(*caption, [caption, widget](QSize hint) {
                    return caption->x() + hint.width() < widget->geometry().left() - 2;
                });
                EXPECT_EQ(caption->font().pixelSize(), size) << c.constName;
            }
        }
    }
}

TEST_F(PanelsTest, ScreenshotsShowTheWholePanel) {
    SetPanelAttribute(main_, ATTR_WIDTH, 870);
    const std::string dir = testing::TempDir();
    ASSERT_TRUE(uitest::SaveScreenshot(main_, dir + "kwd2_main.png"));
    ASSERT_TRUE(uitest::SaveScreenshot(calc_, dir + "kwd2_calc.png"));
    SetPanelAttribute(main_, ATTR_WIDTH, 697);
    EXPECT_EQ(QImage(QString::fromStdString(dir + "kwd2_main.png")).size(), QSize(870, 533));
    EXPECT_EQ(QImage(QString::fromStdString(dir + "kwd2_calc.png")).size(), QSize(411, 317));
}

}  // namespace
