// Program soak: many live-readout ticks of the real program (offscreen, ticks fired directly)
// against the simulator, with every device and serial fault, the device hanging up and the
// adapter being pulled switched on and off at random. Each failing tick must show its exact code
// and stop measuring, each good one must leave the display clear, a lost line must be closed, and
// after warm-up neither resident memory nor open descriptors may grow. Prints a table.
// Not in the default run (CTest label "soak"); KWD2_SOAK_TICKS sets the count.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "driver/zelkwd2.h"
#include "platform/rs232_testing.h"
#include "sim/kwd2sim.h"
#include "tests/process_usage.h"
#include "tests/support/programm_fixture.h"

namespace {

using testutil::AwaitAbandonedAnswer;
using testutil::OpenDescriptors;
using testutil::PrintTallies;
using testutil::ResidentKiB;
using testutil::Tally;

using kwd2sim::Fault;

// Shorter than the program's own second, so that silent devices keep the soak to minutes.
constexpr double kTimeout = 0.2;

enum class Line { Stays, HangsUp, Pulled };

// A cause and the code the tick's first exchange (reading "uist") must then show.
struct Cause {
    const char* name;
    Fault device;
    std::optional<Rs232Fault> serial;
    Line line;
    int code;
    int orCode = -1;  // or this one: a hang-up can overtake the acknowledgement, which then reads as silence
};

const Cause kCauses[] = {
    {"none", Fault::kNone, {}, Line::Stays, 0},
    {"slow", Fault::kSlow, {}, Line::Stays, 0},
    {"silent", Fault::kSilent, {}, Line::Stays, 403078},
    {"nak", Fault::kNak, {}, Line::Stays, 402076},
    {"can", Fault::kCan, {}, Line::Stays, 405077},
    {"garbage", Fault::kGarbageFirstByte, {}, Line::Stays, 404079},
    {"wrongaddress", Fault::kWrongAddress, {}, Line::Stays, 404081},
    {"wrongecho", Fault::kWrongEcho, {}, Line::Stays, 404081},
    {"missingcr", Fault::kMissingCr, {}, Line::Stays, 404080},
    {"overlong", Fault::kOverlongReply, {}, Line::Stays, 404081},
    {"hangup", Fault::kHangUp, {}, Line::HangsUp, 404080, 403078},
    {"unplugged", Fault::kNone, {}, Line::Pulled, 112073},
    {"flushin", Fault::kNone, Rs232Fault::kFlushInQFails, Line::Stays, 112073},
    {"flushout", Fault::kNone, Rs232Fault::kFlushOutQFails, Line::Stays, 112073},
    {"writefails", Fault::kNone, Rs232Fault::kComWrtFails, Line::Stays, 101074},
    {"writeshort", Fault::kNone, Rs232Fault::kComWrtShort, Line::Stays, 114075},
    {"queuefails", Fault::kNone, Rs232Fault::kGetOutQLenFails, Line::Stays, 101074},
};

class ProgrammSoak : public Programm {
  protected:
    // A device on a line at the same path each time, as COM1; the program connects and measures.
    void Verbinden() {
        sim.reset();  // first: the old simulator removes its link when it goes
        kwd2sim::Options optionen;
        optionen.linkPath = (arbeitsverzeichnis / "com1").string();
        sim = std::make_unique<kwd2sim::Simulator>(optionen);
        sim->AddKwd2(KwdTestFunc_Adresse());
        sim->SetSlowDelay(0.002);
        sim->Start();
        setenv("KWD2_COM1", optionen.linkPath.c_str(), 1);
        Wiederverbinden();
    }
    void Wiederverbinden() {
        uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
        ASSERT_EQ(KwdTestFunc_ComPort(), 1) << Fehler().nummer;
        ASSERT_EQ(ZELKWD2_Timeout(1, kTimeout), 0);
    }
};

TEST_F(ProgrammSoak, EveryFailingTickIsShownAndNothingGrows) {
    const char* env = std::getenv("KWD2_SOAK_TICKS");
    const long ticks = env != nullptr ? std::max(1000L, std::atol(env)) : 10000L;
    const long warmUp = ticks / 10;
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<std::size_t> cause(1, std::size(kCauses) - 1);
    std::bernoulli_distribution faulty(0.2);

    Starten();
    Verbinden();
    const int adresse = KwdTestFunc_Adresse();
    std::map<std::string, Tally> tallies;
    long residentStart = 0;
    int descriptorsStart = 0;
    for (long i = 0; i < ticks; ++i) {
        if (i == warmUp) {
            residentStart = ResidentKiB();
            descriptorsStart = OpenDescriptors();
        }
        const Cause& c = faulty(random) ? kCauses[cause(random)] : kCauses[0];
        if (Int(PANEL_MESSEN) == 0) uitest::Click(gPanelHandle, PANEL_MESSEN);
        sim->SetFault(adresse, c.device);
        if (c.serial) Rs232_InjectFault(1, *c.serial);
        if (c.line == Line::Pulled) {
            sim->Unplug();
            uitest::ProcessEvents();  // the event loop between two ticks
        }

        sim->ClearTrace();
        const auto start = std::chrono::steady_clock::now();
        uitest::FireTimer(gPanelHandle, PANEL_TIMER);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        const auto shown = Fehler();
        const bool closed = Int(PANEL_PORT) == 0 && KwdTestFunc_ComPort() == 0;
        const bool right = c.code == 0
                               ? shown.led == 0 && shown.nummer == 0 && Int(PANEL_MESSEN) == 1
                               : shown.led == 1 && (shown.nummer == c.code || shown.nummer == c.orCode) &&
                                     !shown.text.empty() && Int(PANEL_MESSEN) == 0 &&
                                     closed == (c.line != Line::Stays);
        Tally& t = tallies[c.name];
        ++t.count;
        t.worst = std::max(t.worst, seconds);
        if (!right) {
            ++t.wrong;
            ADD_FAILURE() << "tick " << i << " with " << c.name << ": shows " << shown.led << "/"
                          << shown.nummer << " '" << shown.text << "', measuring " << Int(PANEL_MESSEN)
                          << ", port " << Int(PANEL_PORT) << "; expected code " << c.code;
        }
        if (c.serial == Rs232Fault::kGetOutQLenFails) AwaitAbandonedAnswer(*sim);
        Rs232_ClearFaults();
        sim->SetFault(adresse, Fault::kNone);
        if (c.line == Line::HangsUp) Verbinden();
        if (c.line == Line::Pulled) {
            sim->Replug();
            Wiederverbinden();
        }
        if (t.wrong > 20) break;
    }
    const long residentGrowth = ResidentKiB() - residentStart;
    const int descriptorGrowth = OpenDescriptors() - descriptorsStart;

    PrintTallies(tallies, "ticks");
    std::printf("time-out %.0f ms, resident memory %+ld KiB, descriptors %+d (after %ld warm-up ticks)\n",
                kTimeout * 1000, residentGrowth, descriptorGrowth, warmUp);
    EXPECT_EQ(descriptorGrowth, 0);
#if defined(__SANITIZE_ADDRESS__)
    std::printf("resident memory not judged: the address sanitizer holds freed memory back\n");
#else
    EXPECT_LT(residentGrowth, 1024);
#endif
}

}  // namespace
