// Argument checks, the register table, value texts, the common address and stray bytes.
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "sim_line.h"

namespace {

using kwd2sim::Fault;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class Commands : public SimLine {};

TEST(Link, PortNumberOutsideOneToEightIsRefusedWithoutOpening) {
    EXPECT_EQ(ZELKWD2_Open(0), -100001);
    EXPECT_EQ(ZELKWD2_Open(9), -100001);
    EXPECT_EQ(ZELKWD2_Open(-1), -100001);
}

TEST(Link, FailuresOfAPortThatCannotBeOpenedOrIsNotOpen) {
    ::setenv("KWD2_COM4", "/nonexistent/kwd2-line", 1);
    EXPECT_EQ(ZELKWD2_Open(4), -100002);
    EXPECT_EQ(ZELKWD2_Close(4), -103003);
    EXPECT_EQ(ZELKWD2_Timeout(4, 1.0), -111004);
    EXPECT_EQ(FlushInOut(4), -124112);
    double value = 7.0;
    EXPECT_EQ(ZELKWD2_ParameterLesen(4, 0, "usoll1", &value), -112073);
    EXPECT_EQ(value, 7.0);
    int status = 0;
    EXPECT_EQ(ZELKWD2_StatusLesen(4, 0, 1, &status), -124112);
}

TEST_F(Commands, OpensTheNamedPortThroughItsMapping) {
    ::setenv("KWD2_COM2", sim().Path().c_str(), 1);
    ASSERT_EQ(ZELKWD2_Close(kPort), 0);  // one user of the line at a time
    ASSERT_EQ(ZELKWD2_Open(2), 0);
    ASSERT_EQ(ZELKWD2_Timeout(2, 0.2), 0);
    char id[28] = {};
    EXPECT_EQ(ZELKWD2_IDLesen(2, 3, id), 0);
    EXPECT_STREQ(id, "ZEL-KWD2-V1.5");
    EXPECT_EQ(ZELKWD2_Timeout(2, -1.0), -111004);
    EXPECT_EQ(ZELKWD2_Close(2), 0);
    EXPECT_EQ(ZELKWD2_Close(2), -103003);
}

TEST_F(Commands, FlushInOutReportsWhichQueueFailed) {
    EXPECT_EQ(FlushInOut(kPort), 0);
    Rs232_InjectFault(kPort, Rs232Fault::kFlushInQFails);
    Rs232_InjectFault(kPort, Rs232Fault::kFlushOutQFails);
    EXPECT_EQ(FlushInOut(kPort), -124112);
    // The output queue was left alone: its fault is still pending.
    EXPECT_EQ(FlushInOut(kPort), -123113);
    EXPECT_EQ(FlushInOut(kPort), 0);
}

struct Refusal {
    const char* what;
    std::function<int()> call;
    int expected;
};

TEST_F(Commands, ArgumentChecksRefuseBeforeAnythingIsSent) {
    double d = 0.0;
    int i = 0;
    char id[28] = {};
    const std::vector<Refusal> refusals{
        {"ID common address", [&] { return ZELKWD2_IDLesen(kPort, 9, id); }, -400005},
        {"ID negative address", [&] { return ZELKWD2_IDLesen(kPort, -1, id); }, -400005},
        {"U value wins over address", [] { return ZELKWD2_UWrite(kPort, 10, 1, 250.05); }, -401016},
        {"U below 0", [] { return ZELKWD2_UWrite(kPort, 0, 1, -0.1); }, -401016},
        {"U not a number", [] { return ZELKWD2_UWrite(kPort, 0, 1, kNaN); }, -401016},
        {"U infinite", [] { return ZELKWD2_UWrite(kPort, 0, 1, kInf); }, -401016},
        {"U address", [] { return ZELKWD2_UWrite(kPort, 10, 1, 12.0); }, -400017},
        {"U selector", [] { return ZELKWD2_UWrite(kPort, 0, 3, 12.0); }, -401018},
        {"I above 6000", [] { return ZELKWD2_IWrite(kPort, 0, 1, 6000.1); }, -401025},
        {"I address", [] { return ZELKWD2_IWrite(kPort, -1, 1, 10.0); }, -400026},
        {"I selector", [] { return ZELKWD2_IWrite(kPort, 0, 3, 6000.0); }, -401027},
        {"function address", [] { return ZELKWD2_DeviceFunction(kPort, 10, "start"); }, -400117},
        {"function Start", [] { return ZELKWD2_DeviceFunction(kPort, 0, "Start"); }, -401118},
        {"function stop", [] { return ZELKWD2_DeviceFunction(kPort, 0, "stop"); }, -401118},
        {"function null", [] { return ZELKWD2_DeviceFunction(kPort, 0, nullptr); }, -401118},
        {"U read address", [&] { return ZELKWD2_URead(kPort, 9, &d); }, -400052},
        {"I read address", [&] { return ZELKWD2_IRead(kPort, 9, &d); }, -400061},
        {"register read address", [&] { return ZELKWD2_ParameterLesen(kPort, 9, "usoll1", &d); }, -400070},
        {"register name in capitals", [&] { return ZELKWD2_ParameterLesen(kPort, 0, "USOLL1", &d); },
         -401071},
        {"register name prefix", [&] { return ZELKWD2_ParameterLesen(kPort, 0, "uist_", &d); }, -401071},
        {"register name null", [&] { return ZELKWD2_ParameterLesen(kPort, 0, nullptr, &d); }, -401071},
        {"address wins over name", [] { return ZELKWD2_ParameterSchreiben(kPort, 10, "bogus", 1.0); },
         -400082},
        {"uist read only", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "uist", 1.0); }, -401090},
        {"iist read only", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "iist", 1.0); }, -401090},
        {"unknown register", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "usoll4", 1.0); }, -401090},
        {"usoll1 above 250", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "usoll1", 250.01); }, -500083},
        {"usoll2 below 0", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "usoll2", -0.01); }, -500083},
        {"isoll1 above 6000", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "isoll1", 6000.5); }, -500083},
        {"usoll3 above 250", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "usoll3", 250.01); }, -500115},
        {"isoll3 below 0", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "isoll3", -1.0); }, -500116},
        {"tauu1 negative", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "tauu1", -0.001); }, -500083},
        // Limits apply to the value as passed, not as rounded for the wire.
        {"tauu2 rounds to 0", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "tauu2", -0.0001); }, -500083},
        {"usoll2 rounds to 250", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "usoll2", 250.04); },
         -500083},
        {"U rounds to 250", [] { return ZELKWD2_UWrite(kPort, 0, 1, 250.04); }, -401016},
        {"taui2 negative", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "taui2", -1.0); }, -500083},
        {"tauu3 negative", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "tauu3", -1.0); }, -500117},
        {"taui3 negative", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "taui3", -1.0); }, -500118},
        {"zeit3 negative", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "zeit3", -0.5); }, -500114},
        {"usoll_v zero", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "usoll_v", 0.0); }, -500083},
        {"uist_v zero", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "uist_v", 0.0); }, -500085},
        {"isoll1_v zero", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "isoll1_v", 0.0); }, -500084},
        {"isoll4_v negative", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "isoll4_v", -1.0); }, -500084},
        {"iist1_v zero", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "iist1_v", 0.0); }, -500086},
        {"iist2_v zero", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "iist2_v", 0.0); }, -500087},
        {"iist3_v zero", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "iist3_v", 0.0); }, -500088},
        {"iist4_v zero", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "iist4_v", 0.0); }, -500089},
        // Values without a decimal text, or too long for the request, are never sent.
        {"offset not a number", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "usoll_off", kNaN); },
         -202091},
        {"offset infinite", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "uist_off", -kInf); }, -202091},
        {"set value not a number", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "usoll1", kNaN); },
         -202091},
        {"time infinite", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "tauu1", kInf); }, -202091},
        {"factor infinite", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "uist_v", kInf); }, -202091},
        {"offset 1000000", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "iist4_off", 1000000.0); },
         -202091},
        {"offset -100000", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "iist4_off", -100000.0); },
         -202091},
        {"zeit3 1e9", [] { return ZELKWD2_ParameterSchreiben(kPort, 0, "zeit3", 1.0e9); }, -202091},
        {"range read address", [&] { return ZELKWD2_MessbereichLesen(kPort, 9, 1, &i); }, -400070},
        {"range write address", [] { return ZELKWD2_MessbereichSchreiben(kPort, 10, 1, 1); }, -400082},
        {"range 5", [] { return ZELKWD2_MessbereichSchreiben(kPort, 0, 1, 5); }, -500083},
        {"range -1", [] { return ZELKWD2_MessbereichSchreiben(kPort, 0, 1, -1); }, -500083},
        {"status address", [&] { return ZELKWD2_StatusLesen(kPort, 9, 1, &i); }, -400099},
        {"status selector", [&] { return ZELKWD2_StatusLesen(kPort, 0, 3, &i); }, -401100},
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(r.call(), r.expected) << r.what;
    }
    // Prove the line worked all along and carried nothing but this request.
    EXPECT_EQ(ZELKWD2_IDLesen(kPort, 0, id), 0);
    EXPECT_EQ(sent(), "#0IDR\r");
}

struct RegisterRow {
    const char* name;
    const char* code;
    double value;      // written
    const char* text;  // as it goes on the wire
};

// clang-format off
const RegisterRow kWritable[] = {
    {"usoll1", "V1", 123.46, "123.5"},   {"usoll2", "V2", 250.0, "250.0"},    {"usoll3", "V3", 0.0, "0.0"},
    {"isoll1", "C1", 6000.0, "6000.0"},  {"isoll2", "C2", 0.04, "0.0"},       {"isoll3", "C3", 1234.56, "1234.6"},
    {"tauu1", "F1", 0.5, "0.500"},       {"tauu2", "F2", 1.23456, "1.235"},   {"taui1", "F3", 0.0, "0.000"},
    {"taui2", "F4", 12.0, "12.000"},     {"tauu3", "F5", 0.0015, "0.002"},    {"taui3", "F6", 3.0, "3.000"},
    {"zeit3", "T3", 999999999.999, "999999999.999"},
    {"usoll_v", "01", 1.25, "1.250000"}, {"usoll_off", "02", -3.25, "-3.250000"},
    {"uist_v", "03", 0.9876543, "0.987654"}, {"uist_off", "04", 999999.999999, "999999.999999"},
    {"isoll1_v", "05", 2.0, "2.000000"}, {"isoll1_off", "06", -99999.999999, "-99999.999999"},
    {"iist1_v", "07", 1.5, "1.500000"},  {"iist1_off", "08", -0.0000001, "0.000000"},
    {"isoll2_v", "09", 1.1, "1.100000"}, {"isoll2_off", "10", 0.5, "0.500000"},
    {"iist2_v", "11", 1.2, "1.200000"},  {"iist2_off", "12", -1.0, "-1.000000"},
    {"isoll3_v", "13", 1.3, "1.300000"}, {"isoll3_off", "14", 0.25, "0.250000"},
    {"iist3_v", "15", 1.4, "1.400000"},  {"iist3_off", "16", -0.75, "-0.750000"},
    {"isoll4_v", "17", 0.5, "0.500000"}, {"isoll4_off", "18", 12.5, "12.500000"},
    {"iist4_v", "19", 0.8, "0.800000"},  {"iist4_off", "20", 7.0, "7.000000"},
};
// clang-format on

TEST_F(Commands, EveryWritableRegisterGoesOutWithItsCodeAndPrecision) {
    for (const RegisterRow& row : kWritable) {
        sim().ClearTrace();
        EXPECT_EQ(ZELKWD2_ParameterSchreiben(kPort, 3, row.name, row.value), 0) << row.name;
        EXPECT_EQ(sent(), std::string("#3") + row.code + "W" + row.text + "\r") << row.name;
        EXPECT_DOUBLE_EQ(sim().RegisterValue(3, row.name), std::stod(row.text)) << row.name;
    }
}

TEST_F(Commands, EveryRegisterIsReadWithItsCode) {
    std::vector<RegisterRow> readable(std::begin(kWritable), std::end(kWritable));
    readable.push_back({"uist", "V0", 0.0, ""});
    readable.push_back({"iist", "C0", 0.0, ""});
    ASSERT_EQ(readable.size(), 35u);
    for (const RegisterRow& row : readable) {
        const bool measured = row.text[0] == '\0';
        if (!measured) sim().SetRegisterValue(0, row.name, 4.5);
        sim().ClearTrace();
        double value = -1.0;
        EXPECT_EQ(ZELKWD2_ParameterLesen(kPort, 0, row.name, &value), 0) << row.name;
        EXPECT_EQ(sent(), std::string("#0") + row.code + "R\r") << row.name;
        EXPECT_DOUBLE_EQ(value, sim().RegisterValue(0, row.name)) << row.name;
    }
}

TEST_F(Commands, DirectSetValuesAndReadback) {
    EXPECT_EQ(ZELKWD2_UWrite(kPort, 3, 1, 250.0), 0);
    EXPECT_EQ(ZELKWD2_UWrite(kPort, 3, 2, 0.04), 0);
    EXPECT_EQ(ZELKWD2_IWrite(kPort, 3, 1, 6000.0), 0);
    EXPECT_EQ(sent(), "#3VS250.0\r#3WS0.0\r#3AS6000.0\r");
    EXPECT_DOUBLE_EQ(sim().RegisterValue(3, "usoll1"), 250.0);

    sim().SetRegisterValue(3, "uist_off", 12.5);
    double volts = 0.0;
    double fromRegister = 1.0;
    ASSERT_EQ(ZELKWD2_URead(kPort, 3, &volts), 0);
    ASSERT_EQ(ZELKWD2_ParameterLesen(kPort, 3, "uist", &fromRegister), 0);
    EXPECT_DOUBLE_EQ(volts, fromRegister);
    EXPECT_DOUBLE_EQ(volts, 12.5);
    double milliamps = -1.0;
    ASSERT_EQ(ZELKWD2_IRead(kPort, 3, &milliamps), 0);
    ASSERT_EQ(ZELKWD2_ParameterLesen(kPort, 3, "iist", &fromRegister), 0);
    EXPECT_DOUBLE_EQ(milliamps, fromRegister);
}

TEST_F(Commands, StartAndStop) {
    EXPECT_EQ(ZELKWD2_DeviceFunction(kPort, 3, "start"), 0);
    EXPECT_TRUE(sim().Running(3));
    EXPECT_EQ(ZELKWD2_DeviceFunction(kPort, 3, "stopp"), 0);
    EXPECT_FALSE(sim().Running(3));
    EXPECT_EQ(sent(), "#3DF1\r#3DF2\r");
}

TEST_F(Commands, MeasuringRangePerParameterSet) {
    EXPECT_EQ(ZELKWD2_MessbereichSchreiben(kPort, 0, 2, 4), 0);
    EXPECT_EQ(ZELKWD2_MessbereichSchreiben(kPort, 0, 3, 0), 0);
    EXPECT_EQ(ZELKWD2_MessbereichSchreiben(kPort, 0, 7, 3), 0);  // unknown sets select set 1
    EXPECT_EQ(sent(), "#0M2W4\r#0M3W0\r#0M1W3\r");
    EXPECT_EQ(sim().Range(0, 1), 3);
    EXPECT_EQ(sim().Range(0, 2), 4);
    EXPECT_EQ(sim().Range(0, 3), 0);
    for (const int set : {0, 4, -1, 1}) {
        sim().ClearTrace();
        int range = -1;
        EXPECT_EQ(ZELKWD2_MessbereichLesen(kPort, 0, set, &range), 0);
        EXPECT_EQ(range, 3) << set;
        EXPECT_EQ(sent(), "#0M1R\r") << set;
    }
    int range = -1;
    EXPECT_EQ(ZELKWD2_MessbereichLesen(kPort, 0, 2, &range), 0);
    EXPECT_EQ(range, 4);
}

TEST_F(Commands, StatusBytesAsTwoHexDigits) {
    const struct {
        int selector;
        int value;
    } cases[] = {{1, 0x05}, {1, 0x06}, {1, 0x00}, {2, 0xA7}, {2, 0xFF}};
    for (const auto& c : cases) {
        sim().SetStatusByte(0, c.selector, c.value);
        sim().ClearTrace();
        int status = -1;
        EXPECT_EQ(ZELKWD2_StatusLesen(kPort, 0, c.selector, &status), 0);
        EXPECT_EQ(status, c.value);
        EXPECT_EQ(sent(), std::string("#0S") + static_cast<char>('0' + c.selector) + "R\r");
    }
}

TEST_F(Commands, IdentificationOfKwd2ForeignAndBadTexts) {
    char id[28];
    ASSERT_EQ(ZELKWD2_IDLesen(kPort, 5, id), 0);
    EXPECT_STREQ(id, "OTHER-DEVICE-2");
    sim().AddKwd2(6, "ZEL-KWD2 V1.5");                // a blank inside the text
    sim().AddKwd2(7, "ZEL-KWD2-ABCDEFGHIJKLMNOPQR");  // 27 characters: over the reply limit
    sim().AddKwd2(8, "ZEL-KWD2-ABCDEFGHIJKLMNOPQ");   // 26 characters: just fits
    for (const int address : {6, 7}) {
        std::memset(id, '@', sizeof id);
        EXPECT_EQ(ZELKWD2_IDLesen(kPort, address, id), -404015) << address;
        EXPECT_EQ(id[0], '@') << "nothing is handed out from a rejected reply";
    }
    ASSERT_EQ(ZELKWD2_IDLesen(kPort, 8, id), 0);
    EXPECT_STREQ(id, "ZEL-KWD2-ABCDEFGHIJKLMNOPQ");
}

TEST_F(Commands, CommonAddressIsObeyedByAllAndReadsNoAnswer) {
    Rs232_ResetReadCounts(kPort);
    EXPECT_EQ(ZELKWD2_ParameterSchreiben(kPort, 9, "usoll1", 42.5), 0);
    EXPECT_EQ(ZELKWD2_UWrite(kPort, 9, 2, 17.0), 0);
    EXPECT_EQ(ZELKWD2_IWrite(kPort, 9, 1, 100.0), 0);
    EXPECT_EQ(ZELKWD2_MessbereichSchreiben(kPort, 9, 1, 2), 0);
    EXPECT_EQ(ZELKWD2_DeviceFunction(kPort, 9, "start"), 0);
    // Nobody answers the common address, so not a single byte may be read for it.
    EXPECT_EQ(Rs232_ReadCounts(kPort).reads, 0);
    const std::string expected = "#9V1W42.5\r#9WS17.0\r#9AS100.0\r#9M1W2\r#9DF1\r";
    EXPECT_EQ(sent(expected.size()), expected);
    for (const int address : {0, 3}) {
        EXPECT_DOUBLE_EQ(sim().RegisterValue(address, "usoll1"), 42.5);
        EXPECT_DOUBLE_EQ(sim().RegisterValue(address, "usoll2"), 17.0);
        EXPECT_DOUBLE_EQ(sim().RegisterValue(address, "isoll1"), 100.0);
        EXPECT_EQ(sim().Range(address, 1), 2);
        EXPECT_TRUE(sim().Running(address));
    }
}

TEST_F(Commands, DirectWritesToTheCommonAddressWaitUntilTheRequestHasLeft) {
    // Without an acknowledgement nothing else shows that the request is out of the queue.
    Rs232_InjectFault(kPort, Rs232Fault::kGetOutQLenStuck, 1000000);
    EXPECT_EQ(ZELKWD2_UWrite(kPort, 9, 1, 10.0), -101021);
    EXPECT_EQ(ZELKWD2_IWrite(kPort, 9, 1, 10.0), -101030);
    Rs232_ClearFaults();
    Rs232_InjectFault(kPort, Rs232Fault::kGetOutQLenFails);
    EXPECT_EQ(ZELKWD2_UWrite(kPort, 9, 2, 10.0), -101021);
    // A single device acknowledges, so no wait is needed there.
    Rs232_InjectFault(kPort, Rs232Fault::kGetOutQLenFails);
    EXPECT_EQ(ZELKWD2_UWrite(kPort, 0, 2, 10.0), 0);
}

TEST_F(Commands, SilentAddressCostsOneTimeout) {
    char id[28];
    Rs232_ResetReadCounts(kPort);
    EXPECT_EQ(ZELKWD2_IDLesen(kPort, 7, id), -403012);
    // One read of the acknowledgement, which timed out; no further wait.
    EXPECT_EQ(Rs232_ReadCounts(kPort).reads, 1);
    EXPECT_EQ(Rs232_ReadCounts(kPort).timedOut, 1);
    Rs232_ResetReadCounts(kPort);
    double volts = 0.0;
    EXPECT_EQ(ZELKWD2_URead(kPort, 7, &volts), -116058);
    EXPECT_EQ(Rs232_ReadCounts(kPort).timedOut, 1);
}

TEST_F(Commands, SlowButTimelyBytesAreWaitedFor) {
    sim().SetSlowDelay(0.05);  // each byte well inside the 0.2 s time-out
    sim().SetFault(0, Fault::kSlow);
    sim().SetRegisterValue(0, "tauu2", 2.5);
    double value = 0.0;
    EXPECT_EQ(ZELKWD2_ParameterLesen(kPort, 0, "tauu2", &value), 0);
    EXPECT_DOUBLE_EQ(value, 2.5);
    sim().SetSlowDelay(0.6);  // the acknowledgement comes too late
    EXPECT_EQ(ZELKWD2_ParameterLesen(kPort, 0, "tauu2", &value), -403078);
}

TEST_F(Commands, LateBytesOfAnEarlierExchangeNeverReachTheNext) {
    sim().SetRegisterValue(0, "usoll1", 42.5);
    // A stray acknowledgement and a whole reply, as a late device would leave them.
    sim().InjectBytes("\x06#0V1R99.9\r\x15");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let them reach the host's queue
    double value = 0.0;
    EXPECT_EQ(ZELKWD2_ParameterLesen(kPort, 0, "usoll1", &value), 0);
    EXPECT_DOUBLE_EQ(value, 42.5);
}

}  // namespace
