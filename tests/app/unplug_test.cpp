// The adapter pulled. While measuring: once while the program waits for a reply (the device fell
// silent, the next request went out) and once between two ticks. The failing tick shows its
// error and stops measuring. With measuring off: the next operation shows its error. Either way
// the dead line is then closed, the port ring shows "not open", nothing stays armed on it, other
// operations get their "port not open" code, and choosing COM1 again opens the line once it is back.
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/rs232_testing.h"
#include "sim/kwd2sim.h"
#include "tests/support/programm_fixture.h"

namespace {

class Abziehen : public Programm {
  protected:
    void SetUp() override {
        Programm::SetUp();
        kwd2sim::Options optionen;
        optionen.linkPath = (arbeitsverzeichnis / "com1").string();
        setenv("KWD2_COM1", optionen.linkPath.c_str(), 1);
        sim = std::make_unique<kwd2sim::Simulator>(optionen);
        Starten();
        sim->AddKwd2(KwdTestFunc_Adresse());
        sim->Start();
    }

    void MessenMitCom1() {
        uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
        ASSERT_EQ(KwdTestFunc_ComPort(), 1);
        uitest::Click(gPanelHandle, PANEL_MESSEN);
        uitest::FireTimer(gPanelHandle, PANEL_TIMER);
        ASSERT_EQ(Fehler().nummer, 0);
        ASSERT_EQ(Int(PANEL_MESSEN), 1);
    }
};

TEST_F(Abziehen, DeadLineIsClosedAndOpensAgainOnceBack) {
    const struct {
        const char* moment;
        bool waehrendAntwort;
        int code;  // reading "uist": no answer, or the queues cannot be emptied
    } momente[] = {{"while waiting for a reply", true, 403078}, {"between two ticks", false, 112073}};
    for (const auto& m : momente) {
        MessenMitCom1();
        if (m.waehrendAntwort) {
            sim->SetFault(KwdTestFunc_Adresse(), kwd2sim::Fault::kSilent);
            sim->ClearTrace();
            // Pulled once the request is out, while the tick waits for its answer.
            std::thread ziehen([this] {
                const auto bis = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                while (sim->HostBytes().empty() && std::chrono::steady_clock::now() < bis) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                sim->Unplug();
            });
            uitest::FireTimer(gPanelHandle, PANEL_TIMER);
            ziehen.join();
        } else {
            sim->Unplug();
            uitest::ProcessEvents();
            EXPECT_EQ(Rs232_ArmedNotifiers(1), 0) << m.moment << ": the hung-up line still wakes the loop";
            uitest::FireTimer(gPanelHandle, PANEL_TIMER);
        }
        EXPECT_EQ(Fehler().nummer, m.code) << m.moment;
        EXPECT_EQ(Int(PANEL_MESSEN), 0) << m.moment;
        EXPECT_EQ(Int(PANEL_PORT), 0) << m.moment;
        EXPECT_EQ(KwdTestFunc_ComPort(), 0) << m.moment;
        EXPECT_EQ(Rs232_ArmedNotifiers(1), 0) << m.moment;

        uitest::Click(gPanelHandle, PANEL_IDLESEN);
        EXPECT_EQ(Fehler().nummer, 122201) << m.moment;
        // Still gone: the open fails as any failed open does.
        uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
        EXPECT_EQ(Fehler().nummer, 100002) << m.moment;
        EXPECT_EQ(Int(PANEL_PORT), 0) << m.moment;

        sim->Replug();
        sim->SetFault(KwdTestFunc_Adresse(), kwd2sim::Fault::kNone);
        uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
        EXPECT_EQ(Fehler().nummer, 0) << m.moment;
        uitest::Click(gPanelHandle, PANEL_IDLESEN);
        EXPECT_EQ(Fehler().nummer, 0) << m.moment;
        EXPECT_EQ(Text(PANEL_IDSTRING), "ZEL-KWD2-V1.5") << m.moment;
        uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 0);
    }
}

// With measuring off the pull shows at the next operation, with that operation's own code (from the
// display or its popup); only then does the ring go to "not open".
TEST_F(Abziehen, OperationOnTheDeadLineShowsItsErrorThenClosesIt) {
    const struct {
        const char* operation;
        void (*ausfuehren)();
        bool popup;
        int code;      // the line gone: the queues cannot be emptied
        int ohnePort;  // then: "port not open"
    } operationen[] = {
        {"identification", [] { uitest::Click(gPanelHandle, PANEL_IDLESEN); }, false, 112007, 122201},
        {"start", [] { uitest::Click(gPanelHandle, PANEL_START); }, false, 112120, 122220},
        {"voltage",
         [] {  // a new value each time, so that every entry commits
             static double volt = 1.0;
             uitest::EnterNumeric(gPanelHandle, PANEL_SPANNUNGSOLL, volt += 1.0);
         },
         false, 112092, 122213},  // the set point is a register write
        {"parameter readback", [] { uitest::Click(gPanelHandle, PANEL_PARAMETERLESEN); }, true, 112073,
         122212},
        {"search", [] { uitest::Click(gPanelHandle, PANEL_SCANN); }, false, 0, 122202},  // finds nothing
    };
    const auto gemeldet = [](bool popup) {
        if (!popup) return Fehler().nummer;
        const std::vector<std::string> titel = PopupTitel();
        return titel.size() == 1 ? std::stoi(titel[0].substr(titel[0].find('#') + 1)) : -1;
    };
    for (const auto& o : operationen) {
        uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
        ASSERT_EQ(Fehler().nummer, 0) << o.operation;
        sim->Unplug();
        uitest::ProcessEvents();
        EXPECT_EQ(Int(PANEL_PORT), 1) << o.operation << ": closed before anything failed";
        EXPECT_EQ(Rs232_ArmedNotifiers(1), 0) << o.operation << ": the hung-up line still wakes the loop";
        PopupsBeantworten(o.popup ? 2 : 0);
        o.ausfuehren();
        EXPECT_EQ(gemeldet(o.popup), o.code) << o.operation;
        EXPECT_EQ(Int(PANEL_PORT), 0) << o.operation;
        EXPECT_EQ(KwdTestFunc_ComPort(), 0) << o.operation;
        EXPECT_EQ(Rs232_ArmedNotifiers(1), 0) << o.operation;
        o.ausfuehren();
        EXPECT_EQ(gemeldet(o.popup), o.ohnePort) << o.operation;

        sim->Replug();
        uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
        EXPECT_EQ(Fehler().nummer, 0) << o.operation;
        uitest::Click(gPanelHandle, PANEL_IDLESEN);
        EXPECT_EQ(Fehler().nummer, 0) << o.operation;
        uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 0);
    }
}

// Choosing the shown port again reopens the line.
TEST_F(Abziehen, ChoosingTheLostPortAgainReopensIt) {
    uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
    sim->Unplug();
    sim->Replug();
    uitest::Click(gPanelHandle, PANEL_IDLESEN);
    EXPECT_NE(Fehler().nummer, 0);
    uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
    EXPECT_EQ(Fehler().nummer, 0);
    uitest::Click(gPanelHandle, PANEL_IDLESEN);
    EXPECT_EQ(Fehler().nummer, 0);
}

}  // namespace
