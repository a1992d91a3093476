// kwd2ctl serve's message parser and command tree against the simulated bus: the bytes each
// message puts on the wire, its answer and the error it queues.
#include <cstdlib>

#include "cli/scpi_commands.h"
#include "driver/zelkwd2.h"
#include "errors/ZEL_errorV3.h"
#include "platform/tcpserver.h"
#include "tests/cli/ctl_fixture.h"

namespace {

class Scpi : public ctltest::Ctl {
  protected:
    void SetUp() override {
        Ctl::SetUp();
        ZEL_Fehlersprache(2);  // as kwd2ctl runs
        ::setenv("KWD2_COM1", line().c_str(), 1);
        ASSERT_EQ(ZELKWD2_Open(1), 0);
        ASSERT_EQ(ZELKWD2_Timeout(1, 0.2), 0);
        bus_ = scpi::MakeDriverBus(port_);
    }
    void TearDown() override {
        ZELKWD2_Close(1);
        Ctl::TearDown();
    }
    scpi::Bridge bridge(bool readOnly = false, bool calibration = false) {
        return scpi::Bridge(*bus_, {"COM1", "9.9", readOnly, calibration});
    }
    // The message's answer, with the bytes it sent and the first queued error.
    struct Outcome {
        std::string response;
        std::string wire;
        std::string error;
    };
    Outcome run(scpi::Bridge& b, scpi::ClientState& client, const std::string& message) {
        sim().ClearTrace();
        Outcome o{scpi::Execute(b, client, message), sim().HostBytes(), {}};
        o.error = scpi::Execute(b, client, "SYST:ERR?");
        return o;
    }

  private:
    int port_ = 1;
    std::unique_ptr<scpi::Bus> bus_;
};

struct Case {
    const char* name;
    const char* message;
    std::string wire;
    const char* response;
    const char* error;  // the start of the first SYST:ERR? answer
};
// Test lists show the case's name, not its bytes (which hold addresses and change every build).
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

const char* const kOk = "0,\"No error\"\n";

const Case kCases[] = {
    // Forms, case, optional nodes, suffixes, units and chains.
    {"ShortAndLongFormAnyCase", "VOLT 12.5;:voltage?", "#0V1W12.5\r#0V1R\r", "12.5\n", kOk},
    {"AllOptionalNodes", "SOURce1:VOLTage:LEVel:IMMediate:AMPLitude 3", "#0V1W3.0\r", "", kOk},
    {"SuffixSelectsTheSet", "sour2:volt 5 V;:SOUR3:VOLT 1500 mV", "#0V2W5.0\r#0V3W1.5\r", "", kOk},
    {"CurrentInAmperesGoesOutInMilliamperes", "CURR 0.25;:SOUR2:CURR 12.5MA;CURR?",
     "#0C1W250.0\r#0C2W12.5\r#0C2R\r", "0.0125\n", kOk},
    {"Exponent", "VOLT 1.25E+1;:CURR 5e-3", "#0V1W12.5\r#0C1W5.0\r", "", kOk},
    {"MinMaxDefAndTheirQueries", "VOLT MAX;CURR MIN;:SOUR2:VOLT DEF;:VOLT? MAX;CURR? MAX",
     "#0V1W250.0\r#0C1W0.0\r#0V2W0.0\r", "250;6\n", kOk},
    {"TimeConstantsOfTheThreeSets", "VOLT:TAU 500 MS;:CURR:TAU 0.25;:SOUR2:VOLT:TAU 1;:SOUR3:CURR:TAU 2",
     "#0F1W0.500\r#0F3W0.250\r#0F2W1.000\r#0F6W2.000\r", "", kOk},
    {"PulseWidth", "PULS:WIDT 2 S;:SOUR3:PULS:WIDT?", "#0T3W2.000\r#0T3R\r", "2\n", kOk},
    {"ChainLooksUpThePathLevelByLevel", "SOUR2:VOLT:TAU 1;CURR:TAU 2;CURR 0.5;:MEAS:VOLT?;MEAS:CURR?",
     "#0F2W1.000\r#0F4W2.000\r#0C2W500.0\r#0V0R\r#0C0R\r", "0;0\n", kOk},
    {"ChainContinuesBelowThePath", "SOUR2:VOLT 1;CURR 0.1;:MEAS:VOLT?;CURR?",
     "#0V2W1.0\r#0C2W100.0\r#0V0R\r#0C0R\r", "0;0\n", kOk},
    {"MeasuringRange", "SENS2:CURR:RANG 3;RANG?;RANG:AUTO ON;AUTO?", "#0M2W3\r#0M2R\r#0M2W0\r#0M2R\r",
     "3;1\n", kOk},
    {"AutoOffFixesTheLargestRange", "SENS:CURR:DC:RANG:AUTO OFF", "#0M1R\r#0M1W4\r", "", kOk},
    {"Output", "OUTP ON;OUTP?;:OUTP:STAT 0;:OUTP?", "#0DF1\r#0DF2\r", "1;0\n", kOk},
    {"StatusAndAnyRegister", "KWD2:STAT1?;REG? \"tauu2\";:KWD2:REG \"usoll_off\",-3.25", "#0S1R\r#0F2R\r",
     "0;0\n", "-203,\"Command protected;calibration"},
    {"SelectedAddress", "INST 3;*IDN?;:SYST:DEV:ID?;:INST:NSEL?", "#3IDR\r",
     "KWD2,kwd2ctl bridge,COM1,9.9;\"ZEL-KWD2-V2\";3\n", kOk},
    {"CatalogueListsKwd2DevicesOnly", "INST:CAT?",
     "#0IDR\r#1IDR\r#2IDR\r#3IDR\r#4IDR\r#5IDR\r#6IDR\r#7IDR\r#8IDR\r",
     "\"0,ZEL-KWD2-V1.5\",\"3,ZEL-KWD2-V2\"\n", kOk},
    {"CommonCommands", "*CLS;*OPC?;*WAI;*TST?;:SYST:VERS?;ERR:COUN?", "#0IDR\r", "1;0;1999.0;0\n", kOk},
    // Each error, with nothing sent.
    {"MissingParameter", "VOLT", "", "", "-109,\"Missing parameter\""},
    {"ParameterNotAllowed", "VOLT 1,2", "", "", "-108,"},
    {"QueryTakesNoNumber", "MEAS:VOLT? 3", "", "", "-108,"},
    {"StringForANumber", "VOLT \"12\"", "", "", "-104,\"Data type error\""},
    {"WordForANumber", "VOLT HIGH", "", "", "-104,"},
    {"SyntaxTwoNumbers", "VOLT 1 2", "", "", "-102,\"Syntax error\""},
    {"SyntaxEmptyParameter", "VOLT 1,", "", "", "-102,"},
    {"SyntaxOpenString", "KWD2:REG? \"usoll1", "", "", "-102,"},
    {"SyntaxBadHeader", "VOLT:;", "", "", "-102,"},
    {"UndefinedHeader", "VOLTS 1", "", "", "-113,\"Undefined header\""},
    {"QueryOnlyHeader", "MEAS:VOLT 1", "", "", "-113,"},
    {"SuffixOutOfRange", "SOUR4:VOLT 1", "", "", "-114,\"Header suffix out of range\""},
    {"PulseOnlyInTheThirdSet", "SOUR2:PULS:WIDT 1", "", "", "-114,"},
    {"UnitOfAnotherQuantity", "VOLT 5 A", "", "", "-131,\"Invalid suffix\""},
    {"UnitOnARange", "SENS:CURR:RANG 2 V", "", "", "-131,"},
    {"AboveTheDriversLimit", "VOLT 250.01", "", "", "-222,\"Data out of range;Parameter out of limits\""},
    {"AboveTheLimitInMilliamperes", "CURR 6000.1 MA", "", "", "-222,"},
    {"AddressNine", "INST 9", "", "", "-222,"},
    {"NoMaximumForTau", "VOLT:TAU MAX", "", "", "-224,"},
    {"NotABoolean", "OUTP MAYBE", "", "", "-224,\"Illegal parameter value\""},
    {"UnknownRegister", "KWD2:REG? \"bogus\"", "", "9.91E37\n", "-224,"},
    {"ErrorEndsTheMessage", "VOLT 1;FOO 2;:VOLT 3", "#0V1W1.0\r", "", "-113,"},
    {"QueryWithAnErrorAnswersNothing", "FOO?", "", "", "-113,"},
    // A failing exchange answers not-a-number and queues the program's code.
    {"SilentAddress", "INST 7;:VOLT?;:SYST:DEV:ID?", "#7V1R\r#7IDR\r", "9.91E37;9.91E37\n",
     "403078,\"No answer from device\""},
};

class Messages : public Scpi, public ::testing::WithParamInterface<Case> {};

TEST_P(Messages, SendAnswerAndQueue) {
    auto b = bridge();
    scpi::ClientState client;
    const Outcome o = run(b, client, GetParam().message);
    EXPECT_EQ(o.wire, GetParam().wire);
    EXPECT_EQ(o.response, GetParam().response);
    EXPECT_EQ(o.error.rfind(GetParam().error, 0), 0u) << o.error;
}

INSTANTIATE_TEST_SUITE_P(Scpi, Messages, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Scpi, ReadOnlyRefusesEveryWriteAndSendsNothing) {
    auto b = bridge(true);
    scpi::ClientState client;
    for (const char* message : {"VOLT 1", "CURR 0.1", "VOLT:TAU 1", "PULS:WIDT 1", "SENS:CURR:RANG 2",
                                "SENS:CURR:RANG:AUTO ON", "OUTP ON", "*RST", "KWD2:REG \"usoll1\",1"}) {
        const Outcome o = run(b, client, message);
        EXPECT_EQ(o.wire, "") << message;
        EXPECT_EQ(o.error, "-203,\"Command protected\"\n") << message;
    }
    EXPECT_EQ(run(b, client, "VOLT?").wire, "#0V1R\r");
}

TEST_F(Scpi, CalibrationRegistersStayClosedWithoutTheAccessCode) {
    auto b = bridge();
    scpi::ClientState client;
    using namespace std::string_literals;
    for (const std::string& message :
         {"KWD2:REG \"iist1_v\",1.5"s, "KWD2:REG \"iist1_v\0\0\",1.5"s, "KWD2:REG? \"usoll1\0\""s}) {
        const Outcome o = run(b, client, message);
        EXPECT_EQ(o.wire, "");
        EXPECT_EQ(o.error.substr(0, 5), message.find('\0') == std::string::npos ? "-203," : "-224,");
    }
}

TEST_F(Scpi, AccessCodeOpensTheCalibrationRegisters) {
    auto b = bridge(false, true);
    scpi::ClientState client;
    const Outcome o = run(b, client, "KWD2:REG \"iist1_v\",1.25;REG? \"iist1_v\"");
    EXPECT_EQ(o.wire, "#007W1.250000\r#007R\r");
    EXPECT_EQ(o.response, "1.25\n");
    EXPECT_EQ(run(b, client, "KWD2:REG \"iist1_v\",0").error.rfind("-222,\"Data out of range;", 0), 0u);
}

TEST_F(Scpi, QueueHoldsSixteenAndThenTellsOfTheOverflow) {
    auto b = bridge();
    scpi::ClientState client;
    for (int i = 0; i < 20; ++i) scpi::Execute(b, client, "FOO");
    EXPECT_EQ(scpi::Execute(b, client, "SYST:ERR:COUN?"), "16\n");
    std::string last;
    for (int i = 0; i < 16; ++i) last = scpi::Execute(b, client, "SYST:ERR:NEXT?");
    EXPECT_EQ(last, "-350,\"Queue overflow\"\n");
    EXPECT_EQ(scpi::Execute(b, client, "SYST:ERR?"), kOk);
}

TEST_F(Scpi, ResetStopsTheOutputAndClearsTheQueueOnly) {
    auto b = bridge();
    scpi::ClientState one;
    scpi::ClientState two;
    two.address = 3;
    std::vector<std::string> log;
    b.onOutputSwitch = [&](const scpi::ClientState& c, int address, bool on) {
        log.push_back(c.name + std::to_string(address) + (on ? "on" : "off"));
    };
    one.name = "a";
    two.name = "b";
    scpi::Execute(b, one, "VOLT 7;OUTP ON;FOO");
    scpi::Execute(b, two, "OUTP ON");
    EXPECT_EQ(scpi::Execute(b, one, "OUTP?;:SYST:ERR:COUN?"), "1;1\n");
    sim().ClearTrace();
    scpi::Execute(b, one, "*RST");
    EXPECT_EQ(sim().HostBytes(), "#0DF2\r");
    EXPECT_EQ(scpi::Execute(b, one, "OUTP?;:SYST:ERR:COUN?;:VOLT?"), "0;0;7\n");
    EXPECT_EQ(scpi::Execute(b, two, "OUTP?"), "1\n") << "each address keeps its own state";
    EXPECT_EQ(log, (std::vector<std::string>{"a0on", "b3on", "a0off"}));
}

TEST(ScpiPattern, MatchesFormsAndReportsSuffixes) {
    const scpi::Pattern pattern("[SOURce#:]VOLTage[:LEVel]", 3);
    const auto match = [&](const char* message, int& suffix) {
        return pattern.Match(scpi::ParseMessage(message).front().unit, suffix);
    };
    int suffix = -1;
    EXPECT_EQ(match("VOLT", suffix), scpi::kNoError);
    EXPECT_EQ(suffix, 0);
    EXPECT_EQ(match("source3:voltage:level", suffix), scpi::kNoError);
    EXPECT_EQ(suffix, 3);
    EXPECT_EQ(match("SOUR0:VOLT", suffix), scpi::kHeaderSuffixOutOfRange);
    EXPECT_EQ(match("VOLT2", suffix), scpi::kHeaderSuffixOutOfRange);
    EXPECT_EQ(match("VOLTA", suffix), scpi::kUndefinedHeader);
    EXPECT_EQ(match("SOURC:VOLT", suffix), scpi::kUndefinedHeader) << "neither short nor long form";
}

TEST(ScpiListen, HostAndPortForms) {
    struct Form {
        const char* text;
        bool ok;
        const char* host;
        int port;
    };
    const Form forms[] = {
        {"127.0.0.1:5025", true, "127.0.0.1", 5025},
        {"[::1]:5025", true, "::1", 5025},
        {"localhost:0", true, "localhost", 0},
        {"::1:5025", false, "", 0},
        {"127.0.0.1", false, "", 0},
        {"127.0.0.1:65536", false, "", 0},
        {"[::1]5025", false, "", 0},
        {":5025", false, "", 0},
        {"127.0.0.1:50x", false, "", 0},
    };
    for (const Form& f : forms) {
        std::string host, error;
        int port = -1;
        EXPECT_EQ(Tcp_SplitHostPort(f.text, host, port, error), f.ok) << f.text;
        if (f.ok) {
            EXPECT_EQ(host, f.host);
            EXPECT_EQ(port, f.port);
        } else {
            EXPECT_FALSE(error.empty()) << f.text;
        }
    }
}

}  // namespace
