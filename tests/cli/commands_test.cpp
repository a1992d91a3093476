// The one-shot commands: bytes on the wire, what is printed, exit statuses.
#include <array>

#include "driver/kalibrierdatensatz.h"
#include "driver/zelkwd2.h"
#include "platform/rs232.h"
#include "tests/cli/ctl_fixture.h"

using ctltest::Ctl;

namespace {

struct WireCase {
    const char* name;
    std::vector<std::string> args;
    std::string wire;  // what the host sends, in order
    std::string out;
};
// Test lists show the case's name, not its bytes (which hold addresses and change every build).
void PrintTo(const WireCase& c, std::ostream* os) {
    *os << c.name;
}

std::string allIds() {
    std::string wire;
    for (int a = 0; a <= 8; ++a) wire += "#" + std::to_string(a) + "IDR\r";
    return wire;
}

const WireCase kWire[] = {
    {"GetNamesInTheOrderAsked",
     {"get", "usoll1", "range2", "isoll3"},
     "#0V1R\r#0M2R\r#0C3R\r",
     "usoll1=12.5\nrange2=3\nisoll3=0.1\n"},
    {"GetWithoutNamesReadsTheSixteenThenTheReadings",
     {"-a", "3", "get"},
     "#3V1R\r#3C1R\r#3F1R\r#3F3R\r#3V2R\r#3C2R\r#3F2R\r#3F4R\r#3M1R\r#3M2R\r#3V3R\r#3C3R\r#3F5R\r#3F6R\r#"
     "3T3R\r#3M3R\r"
     "#3V0R\r#3C0R\r#3S1R\r",
     ""},
    {"SetWritesInTheOrderGiven",
     {"set", "usoll1=12.5", "isoll2=100", "range3=4", "tauu1=0.25", "usoll_v=1.5"},
     "#0V1W12.5\r#0C2W100.0\r#0M3W4\r#0F1W0.250\r#001W1.500000\r",
     ""},
    {"SetToAllDevicesReadsNoAnswer", {"-a", "9", "set", "usoll2=5"}, "#9V2W5.0\r", ""},
    {"Start", {"start"}, "#0DF1\r", ""},
    {"StopAtAnotherAddress", {"-a", "3", "stop"}, "#3DF2\r", ""},
    {"ScanAsksEveryAddressInOrder",
     {"scan"},
     allIds(),
     "0\tkwd2\tZEL-KWD2-V1.5\n3\tkwd2\tZEL-KWD2-V2\n5\tforeign\tOTHER-DEVICE\n"},
    {"Id", {"-a", "3", "id"}, "#3IDR\r", "ZEL-KWD2-V2\n"},
};

class Wire : public Ctl, public ::testing::WithParamInterface<WireCase> {};

TEST_P(Wire, SendsExactlyTheseBytes) {
    sim().SetRegisterValue(0, "usoll1", 12.5);
    sim().SetRegisterValue(0, "isoll3", 0.1);
    ASSERT_EQ(ctl({"set", "range2=3"}).status, 0);
    sim().ClearTrace();
    const auto r = ctl(GetParam().args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sent(GetParam().wire.size()), GetParam().wire);
    if (!GetParam().out.empty()) {
        EXPECT_EQ(r.out, GetParam().out);
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, Wire, ::testing::ValuesIn(kWire),
                         [](const auto& info) { return std::string(info.param.name); });

struct StatusCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string err;  // the start of the message after "kwd2ctl: "
};
void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.name;
}

const StatusCase kStatus[] = {
    {"UnknownCommand", {"frobnicate"}, 2, "unknown command 'frobnicate'"},
    {"NoCommand", {}, 2, "no command given"},
    {"UnknownOption", {"--bogus", "id"}, 2, "unknown option --bogus"},
    {"UnknownName", {"get", "uist", "bogus"}, 2, "unknown name 'bogus'"},
    {"StatusIsNotWritable", {"set", "status1=3"}, 2, "unknown name 'status1' for set"},
    {"ValueNotANumber", {"set", "usoll1=1", "isoll1=12,5"}, 2, "isoll1: not a number: '12,5'"},
    {"RangeNotWhole", {"set", "range1=1.5"}, 2, "range1: a range is a whole number"},
    {"AddressOutOfRange", {"-a", "10", "id"}, 2, "bus address must be 0 to 9"},
    {"ReadFromAllDevices", {"-a", "9", "get", "uist"}, 2, "bus address 9 (all devices) only for"},
    {"ComPortOutOfRange", {"-p", "COM9", "id"}, 2, "port must be COM1 to COM8"},
    {"TimeoutNotANumber", {"--timeout", "soon", "id"}, 2, "--timeout: not a number"},
    {"CalWriteWithoutCode", {"cal", "write", "x.kwd"}, 2, "cal write needs --access-code CODE"},
    {"CalWriteWrongCode",
     {"cal", "write", "x.kwd", "--access-code", "-p=Lomb7Quanx"},
     2,
     "wrong calibration access code"},
    {"SilentAddress", {"-a", "7", "id"}, 1, "403012: No answer from device"},
    {"ValueAboveTheLimit", {"set", "usoll1=250.1"}, 1, "500083: "},
    {"NoDeviceOnTheLine", {"-p", "/nonexistent/tty", "id"}, 1, "100002: Error opening com-port (cannot open"},
};

class Status : public Ctl, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(Status, ExitsWithItsStatusAndMessage) {
    sim().ClearTrace();
    Rs232_ResetReadCounts(1);
    const auto r = ctl(GetParam().args);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.err.rfind("kwd2ctl: " + GetParam().err, 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("--help") != std::string::npos, GetParam().status == 2) << r.err;
    if (GetParam().status == 2 || std::string(GetParam().name) == "ValueAboveTheLimit") {
        EXPECT_EQ(sim().HostBytes(), "");
    }
    if (std::string(GetParam().name) == "SilentAddress") {
        EXPECT_EQ(Rs232_ReadCounts(1).timedOut, 1) << "a silent address costs one time-out";
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, Status, ::testing::ValuesIn(kStatus),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Ctl, FirstFailingWriteStopsTheRest) {
    sim().SetFault(0, kwd2sim::Fault::kNak, 1);
    const auto r = ctl({"set", "usoll1=1", "usoll2=2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kwd2ctl: 402095: Errormessage (NAK) received from device\n");
    EXPECT_EQ(sim().HostBytes(), "#0V1W1.0\r");
}

TEST_F(Ctl, ScanWithoutAKwd2DeviceFails) {
    kwd2sim::Options options;
    kwd2sim::Simulator foreignOnly(options);
    foreignOnly.AddForeign(2, "OTHER");
    foreignOnly.Start();
    std::ostringstream out, err;
    EXPECT_EQ(kwd2ctl::Run({"-p", foreignOnly.Path(), "--timeout", "0.05", "scan"}, out, err), 1);
    EXPECT_EQ(out.str(), "2\tforeign\tOTHER\n");
}

TEST_F(Ctl, VersionAndHelp) {
    EXPECT_EQ(ctl({"--version"}).out, std::string("kwd2ctl ") + kwd2ctl::Version() + "\n");
    const auto help = ctl({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: kwd2ctl"), std::string::npos);
}

TEST_F(Ctl, CalibrationFactorsRoundTripThroughAFile) {
    std::string reads;
    for (std::size_t i = 0; i < 20; ++i) {
        sim().SetRegisterValue(0, kalibrierung::kRegister[i], 1.0 + 0.125 * static_cast<double>(i));
        const std::string code = (i + 1 < 10 ? "0" : "") + std::to_string(i + 1);
        reads += "#0" + code + "R\r";
    }
    sim().ClearTrace();
    const auto path = file("factors.kwd");
    ASSERT_EQ(ctl({"cal", "read", path.string()}).status, 0);
    EXPECT_EQ(sim().HostBytes(), reads);
    const std::string bytes = ctltest::contents(path);
    ASSERT_EQ(bytes.size(), 200u);
    EXPECT_EQ(bytes.substr(0, 17), std::string("zel kwd2test kal\0", 17));
    EXPECT_EQ(bytes.substr(32, 4), std::string("\x01\0\0\0", 4));

    for (const char* name : kalibrierung::kRegister) sim().SetRegisterValue(0, name, 2.0);
    sim().ClearTrace();
    const auto r = ctl({"cal", "write", path.string(), "--access-code", kalibrierung::kZugangsCode});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim().HostBytes().substr(0, 26), "#001W1.000000\r#002W1.12500");
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(sim().RegisterValue(0, kalibrierung::kRegister[i]), 1.0 + 0.125 * static_cast<double>(i));
    }
}

TEST_F(Ctl, BadCalibrationFilesSendNothing) {
    const auto code = kalibrierung::kZugangsCode;
    auto good = kalibrierung::Serialisieren(kalibrierung::NeuerDatensatz());
    struct Bad {
        std::string bytes;
        std::string message;
    };
    std::string wrongType(good.begin(), good.end());
    wrongType[16] = 'x';
    std::string wrongVersion(good.begin(), good.end());
    wrongVersion[32] = 2;
    const Bad bad[] = {{std::string(good.begin(), good.end() - 1), "304235"},
                       {wrongType, "302236"},
                       {wrongVersion, "303237"}};
    for (const auto& b : bad) {
        std::ofstream(file("bad.kwd"), std::ios::binary) << b.bytes;
        sim().ClearTrace();
        const auto r = ctl({"cal", "write", file("bad.kwd").string(), "--access-code", code});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("kwd2ctl: " + b.message, 0), 0u) << r.err;
        EXPECT_EQ(sim().HostBytes(), "");
    }
    EXPECT_EQ(ctl({"cal", "write", file("missing.kwd").string(), "--access-code", code}).status, 1);
}

// The line belongs to one program: while a kwd2ctl process holds it, neither this process's
// serial layer (as the panel program opens it) nor another kwd2ctl gets it.
TEST_F(Ctl, SecondOpenOfAHeldLineIsRefused) {
    auto holder = child({"monitor", "-i", "0.05", "-o", file("held.csv").string()});
    ASSERT_TRUE(ctltest::eventually(
        [&] { return ctltest::csvRows(ctltest::contents(file("held.csv"))).size() >= 2; }));
    ::setenv("KWD2_COM2", line().c_str(), 1);
    EXPECT_EQ(ZELKWD2_Open(2), -100002);
    EXPECT_EQ(Rs232_LastOpenResult(2), RS232_PORT_IN_USE);
    const auto r = ctl({"id"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("port in use"), std::string::npos) << r.err;
    holder->signal(SIGTERM);
    EXPECT_EQ(holder->wait(), 0);
    EXPECT_EQ(ZELKWD2_Open(2), 0);
    ZELKWD2_Close(2);
}

}  // namespace
