// monitor and run: rows and headers read back as CSV, the grid of due times, stop signals,
// a pulled line, and the output switched off on every way out of a step list.
#include "tests/cli/ctl_fixture.h"

using ctltest::contents;
using ctltest::csvRows;
using ctltest::Ctl;
using ctltest::eventually;

namespace {

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(Ctl, MonitorRowsFollowTheHeaderAndKeepTheInterval) {
    sim().SetStatusByte(3, 1, 5);
    const auto log = file("log.csv");
    for (int session = 0; session < 2; ++session) {
        const auto r = ctl({"-a", "0,3", "monitor", "-i", "0.05", "-n", "4", "-o", log.string()});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const std::string text = contents(log);
    EXPECT_EQ(text.rfind("# kwd2 measurement log\n# program: kwd2ctl " + std::string(kwd2ctl::Version()) +
                             "\n# port: " + line() + " (/dev/pts/",
                         0),
              0u)
        << text;
    EXPECT_EQ(count(text, "# device 0: ZEL-KWD2-V1.5\n# device 3: ZEL-KWD2-V2\n"), 2u);
    EXPECT_EQ(count(text, "time,elapsed_s,address,voltage_V,current_mA,status1,error\n"), 1u);
    const auto rows = csvRows(text);
    ASSERT_EQ(rows.size(), 16u);
    for (std::size_t i = 0; i < 8; ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), 7u);
        EXPECT_EQ(row[0].size(), 24u);  // 2026-01-02T03:04:05.678Z
        EXPECT_EQ(row[2], i % 2 == 0 ? "0" : "3");
        EXPECT_EQ(row[5], i % 2 == 0 ? "0" : "5");
        EXPECT_EQ(row[6], "0");
        // Never early: round k starts at k intervals at the soonest.
        EXPECT_GE(std::stod(row[1]) + 0.001, 0.05 * static_cast<double>(i / 2)) << i;
    }
}

TEST_F(Ctl, MonitorWritesAFailedReadingAsAnErrorRowAndGoesOn) {
    sim().SetFault(3, kwd2sim::Fault::kNak, 2);  // the identification, then the first reading
    const auto r = ctl({"-a", "3", "monitor", "-i", "0", "-n", "2", "--format", "jsonl"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream in(r.out);
    std::string header, first, second;
    std::getline(in, header);
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(header.rfind("{\"log\":\"kwd2 measurement log\"", 0), 0u) << header;
    EXPECT_NE(header.find("\"devices\":{\"3\":\"(no identification: error 402010)\"}"), std::string::npos);
    EXPECT_NE(first.find("\"voltage_V\":null,\"current_mA\":null,\"status1\":null,\"error\":402076}"),
              std::string::npos)
        << first;
    EXPECT_NE(second.find("\"error\":0}"), std::string::npos) << second;
    // Reads only: nothing a monitor sends changes the device.
    for (char c : sim().HostBytes()) EXPECT_NE(c, 'W');
}

TEST_F(Ctl, MonitorEndsCleanlyOnSigint) {
    const auto log = file("sigint.csv");
    auto p = child({"monitor", "-i", "0.02", "-o", log.string()});
    ASSERT_TRUE(eventually([&] { return csvRows(contents(log)).size() >= 3; }));
    p->signal(SIGINT);
    EXPECT_EQ(p->wait(), 0) << p->err();
    const std::string text = contents(log);
    EXPECT_EQ(text.back(), '\n');
    for (const auto& row : csvRows(text)) EXPECT_EQ(row.size(), 7u);
}

TEST_F(Ctl, MonitorReconnectsToALineThatCameBack) {
    const auto log = file("reconnect.csv");
    auto p = child({"monitor", "-i", "0.05", "--reconnect", "-o", log.string()});
    ASSERT_TRUE(eventually([&] { return csvRows(contents(log)).size() >= 2; }));
    sim().Unplug();
    ASSERT_TRUE(eventually([&] { return contents(log).find("# line lost at ") != std::string::npos; }));
    const std::size_t rowsWhileAway = csvRows(contents(log)).size();
    sim().Replug();
    ASSERT_TRUE(eventually([&] { return contents(log).find("# line back at ") != std::string::npos; }));
    ASSERT_TRUE(eventually([&] { return csvRows(contents(log)).size() >= rowsWhileAway + 2; }));
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(), 0) << p->err();
    const auto rows = csvRows(contents(log));
    EXPECT_NE(rows[rowsWhileAway - 1][6], "0") << "the reading that met the hang-up shows its error";
    EXPECT_EQ(rows.back()[6], "0");
}

const char* const kSteps =
    "voltage_V,current_mA,hold_s,tau_u_s\n"
    "10,100,0.15,0.5\n"
    "\n"
    "# second step\n"
    "20,200,0.15,0\n";

TEST_F(Ctl, RunWritesEachStepStartsOnceAndStopsAtTheEnd) {
    std::ofstream(file("steps.csv")) << kSteps;
    const auto r = ctl({"run", file("steps.csv").string(), "-i", "0.05", "-o", file("run.csv").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string wire = sim().HostBytes();
    EXPECT_EQ(wire.rfind("#0IDR\r#0V1W10.0\r#0C1W100.0\r#0F1W0.500\r#0DF1\r#0V0R\r#0C0R\r#0S1R\r", 0), 0u)
        << wire;
    EXPECT_NE(wire.find("#0V1W20.0\r#0C1W200.0\r#0F1W0.000\r#0V0R\r"), std::string::npos) << wire;
    EXPECT_EQ(count(wire, "#0DF1\r"), 1u);
    EXPECT_EQ(wire.substr(wire.size() - 6), "#0DF2\r");
    EXPECT_FALSE(sim().Running(0));
    EXPECT_GE(csvRows(contents(file("run.csv"))).size(), 4u);
}

TEST_F(Ctl, RunStopsTheOutputOnANak) {
    std::ofstream(file("steps.csv")) << "voltage_V,current_mA,hold_s\n5,50,30\n";
    std::thread injector([&] {
        if (eventually([&] { return sim().Running(0); })) sim().SetFault(0, kwd2sim::Fault::kNak, 1);
    });
    const auto r = ctl({"run", file("steps.csv").string(), "-i", "0.02"});
    injector.join();
    EXPECT_EQ(r.status, 1);
    // Whichever reading of the round meets the NAK (a register or the status byte).
    EXPECT_EQ(r.err.rfind("kwd2ctl: 402", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(": Errormessage (NAK) received from device (output stopped)\n"), std::string::npos)
        << r.err;
    EXPECT_FALSE(sim().Running(0));
    EXPECT_NE(r.out.find("# output stopped: reading failed"), std::string::npos);
}

TEST_F(Ctl, RunStopsTheOutputOnSigint) {
    std::ofstream(file("steps.csv")) << "voltage_V,current_mA,hold_s\n5,50,30\n";
    auto p = child({"run", file("steps.csv").string(), "-o", file("run.csv").string()});
    ASSERT_TRUE(eventually([&] { return sim().Running(0); }));
    p->signal(SIGINT);
    EXPECT_EQ(p->wait(), 0) << p->err();
    EXPECT_FALSE(sim().Running(0));
    EXPECT_EQ(sim().HostBytes().substr(sim().HostBytes().size() - 6), "#0DF2\r");
}

TEST_F(Ctl, BadStepListsSendNothing) {
    const struct {
        const char* text;
        const char* message;
    } bad[] = {
        {"voltage_V,current_mA\n1,2\n", ":1: column 'hold_s' missing"},
        {"voltage_V,current_mA,hold_s\n1,2,3\n1,2\n", ":3: 2 fields where the header has 3"},
        {"voltage_V,current_mA,hold_s\n1,2,3\n251,2,3\n", ":3: voltage_V out of range: 251"},
        {"voltage_V,current_mA,hold_s\n1,2,0\n", ":2: hold_s must be more than 0"},
        {"voltage_V,current_mA,hold_s\n1,x,3\n", ":2: current_mA: not a number: 'x'"},
        {"voltage_V,current_mA,hold_s,volume\n", ":1: unknown column 'volume'"},
        {"voltage_V,current_mA,hold_s\n", ":1: no steps"},
    };
    for (const auto& b : bad) {
        std::ofstream(file("bad.csv")) << b.text;
        sim().ClearTrace();
        const auto r = ctl({"run", file("bad.csv").string()});
        EXPECT_EQ(r.status, 2) << b.text;
        EXPECT_NE(r.err.find("bad.csv" + std::string(b.message)), std::string::npos) << r.err;
        EXPECT_EQ(sim().HostBytes(), "");
    }
}

}  // namespace
