// Output parameters: each control's write on the wire, the readback, start and stop, pulse dimming.
#include <string>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "tests/support/programm_fixture.h"
#include "ui/kwd2Steuerung.h"

namespace {

struct Schreibfall {
    int control;
    bool ring;
    const char* registerName;  // nullptr: measuring range of `satz`
    int satz;
    double wert;
    const char* befehl;  // request after '#' and the address digit
    double wertAlle;     // a second value, for the write to all devices
    const char* befehlAlle;
};

// The pulse time first: while it is 0 the pulse controls are dimmed and cannot be edited.
const Schreibfall kSchreibfaelle[] = {
    {PANEL_ZEITPULS, false, "zeit3", 3, 0.25, "T3W0.250\r", 1.5, "T3W1.500\r"},
    {PANEL_SPANNUNGSOLL, false, "usoll1", 1, 12.5, "V1W12.5\r", 200, "V1W200.0\r"},
    {PANEL_STROMSOLL, false, "isoll1", 1, 1234.5, "C1W1234.5\r", 6000, "C1W6000.0\r"},
    {PANEL_UTAU, false, "tauu1", 1, 0.5, "F1W0.500\r", 12.345, "F1W12.345\r"},
    {PANEL_ITAU, false, "taui1", 1, 2.25, "F3W2.250\r", 7, "F3W7.000\r"},
    {PANEL_MESSBEREICH, true, nullptr, 1, 3, "M1W3\r", 1, "M1W1\r"},
    {PANEL_SPANNUNGSOLL2, false, "usoll2", 2, 250, "V2W250.0\r", 0.5, "V2W0.5\r"},
    {PANEL_STROMSOLL2, false, "isoll2", 2, 100, "C2W100.0\r", 99.5, "C2W99.5\r"},
    {PANEL_UTAU2, false, "tauu2", 2, 1.5, "F2W1.500\r", 0.125, "F2W0.125\r"},
    {PANEL_ITAU2, false, "taui2", 2, 3, "F4W3.000\r", 4.5, "F4W4.500\r"},
    {PANEL_MESSBEREICH2, true, nullptr, 2, 4, "M2W4\r", 2, "M2W2\r"},
    {PANEL_SPANNUNGPULS, false, "usoll3", 3, 24, "V3W24.0\r", 48.5, "V3W48.5\r"},
    {PANEL_STROMPULS, false, "isoll3", 3, 50, "C3W50.0\r", 75.5, "C3W75.5\r"},
    {PANEL_UTAUPULS, false, "tauu3", 3, 0.1, "F5W0.100\r", 0.2, "F5W0.200\r"},
    {PANEL_ITAUPULS, false, "taui3", 3, 0.2, "F6W0.200\r", 0.3, "F6W0.300\r"},
    {PANEL_MESSBEREICHPULS, true, nullptr, 3, 2, "M3W2\r", 3, "M3W3\r"},
};

class Parameter : public Programm {
  protected:
    void MitGeraetenStarten() {
        sim->AddKwd2(2);
        sim->AddKwd2(5);
        AmSimulatorStarten();
        Waehlen(PANEL_PORT, 1);
        Waehlen(PANEL_KWDID, 2);
    }

    static void Setzen(const Schreibfall& fall, double wert) {
        if (fall.ring) {
            Waehlen(fall.control, static_cast<int>(wert));
        } else {
            Eingeben(fall.control, wert);
        }
    }

    double Geraetewert(int adresse, const Schreibfall& fall) const {
        return fall.registerName != nullptr ? sim->RegisterValue(adresse, fall.registerName)
                                            : sim->Range(adresse, fall.satz);
    }
};

TEST_F(Parameter, EachControlSendsExactlyItsBytesToTheChosenAddressAndToAll) {
    MitGeraetenStarten();
    for (const Schreibfall& fall : kSchreibfaelle) {
        sim->ClearTrace();
        Setzen(fall, fall.wert);
        EXPECT_EQ(sim->HostBytes(), std::string("#2") + fall.befehl) << fall.control;
        EXPECT_DOUBLE_EQ(Geraetewert(2, fall), fall.wert) << fall.control;
        ErwarteFehleranzeige(0);
    }
    EXPECT_EQ(KwdTestFunc_LetzteSpannung(), 24.0);  // the pulse voltage was the last one written
    EXPECT_EQ(KwdTestFunc_LetzterStrom(), 50.0);

    Waehlen(PANEL_KWDID, 9);
    for (const Schreibfall& fall : kSchreibfaelle) {
        sim->ClearTrace();
        Setzen(fall, fall.wertAlle);
        EXPECT_TRUE(WarteBis([&] { return Geraetewert(5, fall) == fall.wertAlle; })) << fall.control;
        EXPECT_EQ(sim->HostBytes(), std::string("#9") + fall.befehlAlle) << fall.control;
        EXPECT_DOUBLE_EQ(Geraetewert(2, fall), fall.wertAlle) << fall.control;
        EXPECT_DOUBLE_EQ(Geraetewert(5, fall), fall.wertAlle) << fall.control;
        ErwarteFehleranzeige(0);
    }
    EXPECT_EQ(KwdTestFunc_LetzteSpannung(), 48.5);
    EXPECT_EQ(KwdTestFunc_LetzterStrom(), 75.5);
}

TEST_F(Parameter, FailedWriteKeepsTheLastValuesAndASuccessClearsTheError) {
    MitGeraetenStarten();
    Eingeben(PANEL_SPANNUNGSOLL, 10.0);
    Eingeben(PANEL_STROMSOLL2, 20.0);
    sim->SetFault(2, kwd2sim::Fault::kNak);
    Eingeben(PANEL_SPANNUNGSOLL, 11.0);
    ErwarteFehleranzeige(402095);
    Eingeben(PANEL_STROMSOLL2, 21.0);
    ErwarteFehleranzeige(402095);
    EXPECT_EQ(KwdTestFunc_LetzteSpannung(), 10.0);
    EXPECT_EQ(KwdTestFunc_LetzterStrom(), 20.0);
    EXPECT_EQ(Double(PANEL_SPANNUNGSOLL), 11.0);  // the panel keeps what the operator typed
    sim->SetFault(2, kwd2sim::Fault::kNone);
    Eingeben(PANEL_SPANNUNGSOLL, 12.0);
    ErwarteFehleranzeige(0);
    EXPECT_EQ(KwdTestFunc_LetzteSpannung(), 12.0);
}

TEST_F(Parameter, EveryWriteWithoutPortShowsItsOwnCode) {
    AmSimulatorStarten();
    Eingeben(PANEL_ZEITPULS, 1.0);
    ErwarteFehleranzeige(122219);
    const struct {
        int control;
        bool ring;
        int code;
    } faelle[] = {
        {PANEL_SPANNUNGSOLL, false, 122213}, {PANEL_STROMSOLL2, false, 122214},
        {PANEL_ITAUPULS, false, 122215},     {PANEL_UTAU, false, 122216},
        {PANEL_MESSBEREICH2, true, 122216},
    };
    for (const auto& fall : faelle) {
        FehlerSetzen(0);
        if (fall.ring) {
            Waehlen(fall.control, 2);
        } else {
            Eingeben(fall.control, 3.0);
        }
        ErwarteFehleranzeige(fall.code);
    }
    Klick(PANEL_START);
    ErwarteFehleranzeige(122220);
    Klick(PANEL_STOPP);
    ErwarteFehleranzeige(122221);
    PopupsBeantworten();
    Klick(PANEL_PARAMETERLESEN);
    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #122212"});
}

TEST_F(Parameter, ReadbackFillsAllSixteenControls) {
    MitGeraetenStarten();
    // Ranges reach the device through the program; everything else is set in the device.
    Waehlen(PANEL_MESSBEREICH, 4);
    Waehlen(PANEL_MESSBEREICH2, 3);
    Eingeben(PANEL_ZEITPULS, 1.0);
    Waehlen(PANEL_MESSBEREICHPULS, 1);
    const struct {
        const char* name;
        double wert;
        int control;
    } register_[] = {
        {"usoll1", 1.5, PANEL_SPANNUNGSOLL},  {"isoll1", 2.5, PANEL_STROMSOLL},
        {"tauu1", 3.5, PANEL_UTAU},           {"taui1", 4.5, PANEL_ITAU},
        {"usoll2", 5.5, PANEL_SPANNUNGSOLL2}, {"isoll2", 6.5, PANEL_STROMSOLL2},
        {"tauu2", 7.5, PANEL_UTAU2},          {"taui2", 8.5, PANEL_ITAU2},
        {"usoll3", 9.5, PANEL_SPANNUNGPULS},  {"isoll3", 10.5, PANEL_STROMPULS},
        {"tauu3", 11.5, PANEL_UTAUPULS},      {"taui3", 12.5, PANEL_ITAUPULS},
        {"zeit3", 0.0, PANEL_ZEITPULS},
    };
    for (const auto& r : register_) sim->SetRegisterValue(2, r.name, r.wert);
    for (const int ring : {PANEL_MESSBEREICH, PANEL_MESSBEREICH2, PANEL_MESSBEREICHPULS}) {
        SetCtrlVal(gPanelHandle, ring, 0);
    }
    sim->ClearTrace();

    Klick(PANEL_PARAMETERLESEN);

    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_EQ(sim->HostBytes(),
              "#2V1R\r#2C1R\r#2F1R\r#2F3R\r#2V2R\r#2C2R\r#2F2R\r#2F4R\r#2M1R\r#2M2R\r"
              "#2V3R\r#2C3R\r#2F5R\r#2F6R\r#2T3R\r#2M3R\r");
    for (const auto& r : register_) EXPECT_EQ(Double(r.control), r.wert) << r.name;
    EXPECT_EQ(Int(PANEL_MESSBEREICH), 4);
    EXPECT_EQ(Int(PANEL_MESSBEREICH2), 3);
    EXPECT_EQ(Int(PANEL_MESSBEREICHPULS), 1);
    // The pulse time read back is 0: the pulse controls are dimmed again.
    EXPECT_EQ(Attribut(PANEL_SPANNUNGPULS, ATTR_DIMMED), 1);
    EXPECT_EQ(KwdTestFunc_LetzteSpannung(), 0.0);  // reading never counts as writing

    Waehlen(PANEL_KWDID, 9);
    sim->ClearTrace();
    PopupsBeantworten();
    Klick(PANEL_PARAMETERLESEN);
    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #407000"});
    EXPECT_EQ(sim->HostBytes(), "");
}

TEST_F(Parameter, ReadbackFailingAtTheNinthStepKeepsTheRest) {
    MitGeraetenStarten();
    Waehlen(PANEL_MESSBEREICH, 2);
    for (const char* name : {"usoll1", "isoll1", "tauu1", "taui1", "usoll2", "isoll2", "tauu2", "taui2"}) {
        sim->SetRegisterValue(2, name, 33.0);
    }
    sim->SetRegisterValue(2, "usoll3", 44.0);
    SetCtrlVal(gPanelHandle, PANEL_MESSBEREICH, 0);
    sim->SetSlowDelay(0.02);
    sim->SetFault(2, kwd2sim::Fault::kSlow);
    sim->ClearTrace();
    std::thread stumm = FehlerNach(2, "#2F4R\r", kwd2sim::Fault::kSilent);
    PopupsBeantworten();
    Klick(PANEL_PARAMETERLESEN);
    stumm.join();

    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #403078"});
    for (const int control : {PANEL_SPANNUNGSOLL, PANEL_STROMSOLL, PANEL_UTAU, PANEL_ITAU,
                              PANEL_SPANNUNGSOLL2, PANEL_STROMSOLL2, PANEL_UTAU2, PANEL_ITAU2}) {
        EXPECT_EQ(Double(control), 33.0) << control;
    }
    EXPECT_EQ(Int(PANEL_MESSBEREICH), 0);
    EXPECT_EQ(Double(PANEL_SPANNUNGPULS), 0.0);
    EXPECT_EQ(sim->HostBytes().substr(sim->HostBytes().size() - 6), "#2M1R\r");
}

TEST_F(Parameter, StartAndStopReachTheDeviceAndAll) {
    MitGeraetenStarten();
    sim->ClearTrace();
    Klick(PANEL_START);
    ErwarteFehleranzeige(0);
    EXPECT_EQ(sim->HostBytes(), "#2DF1\r");
    EXPECT_TRUE(sim->Running(2));
    EXPECT_FALSE(sim->Running(5));

    Waehlen(PANEL_KWDID, 9);
    Klick(PANEL_START);
    EXPECT_TRUE(WarteBis([&] { return sim->Running(5); }));
    sim->ClearTrace();
    Klick(PANEL_STOPP);
    ErwarteFehleranzeige(0);
    EXPECT_TRUE(WarteBis([&] { return !sim->Running(2); }));
    EXPECT_EQ(sim->HostBytes(), "#9DF2\r");
    EXPECT_FALSE(sim->Running(5));

    Waehlen(PANEL_KWDID, 2);
    sim->SetFault(2, kwd2sim::Fault::kCan);
    Klick(PANEL_START);
    ErwarteFehleranzeige(405124);
}

TEST_F(Parameter, PulseControlsAreDimmedWhilePulseTimeIsZero) {
    AmSimulatorStarten();  // no port: the dimming follows the panel even though the write fails
    const int pulse[] = {PANEL_SPANNUNGPULS, PANEL_STROMPULS, PANEL_UTAUPULS, PANEL_ITAUPULS,
                         PANEL_MESSBEREICHPULS};
    for (const int control : pulse) EXPECT_EQ(Attribut(control, ATTR_DIMMED), 1) << control;
    Eingeben(PANEL_ZEITPULS, 0.5);
    ErwarteFehleranzeige(122219);
    for (const int control : pulse) EXPECT_EQ(Attribut(control, ATTR_DIMMED), 0) << control;
    EXPECT_EQ(Attribut(PANEL_ZEITPULS, ATTR_DIMMED), 0);
    Eingeben(PANEL_ZEITPULS, 0.0);
    for (const int control : pulse) EXPECT_EQ(Attribut(control, ATTR_DIMMED), 1) << control;
    EXPECT_EQ(Attribut(PANEL_ZEITPULS, ATTR_DIMMED), 0);
}

}  // namespace
