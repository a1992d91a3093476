// Replies checked field by field: each malformed answer a device could give, and what the driver
// returns for it. The device here answers with exactly the bytes each case names.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "scripted_line.h"

namespace {

using namespace std::string_literals;

class Replies : public ScriptedLine {};

struct ReplyCase {
    const char* what;
    std::string answer;  // acknowledgement byte and reply
    int code;
    double value;  // the out-argument on success
};

// Runs every case; on failure the out-argument must be left untouched.
void expectReplies(ScriptedDevice& device, const std::vector<ReplyCase>& cases,
                   const std::function<int(double&)>& call) {
    for (const ReplyCase& c : cases) {
        device.answer(c.answer);
        constexpr double kUntouched = -4711.0;
        double value = kUntouched;
        EXPECT_EQ(call(value), c.code) << c.what;
        EXPECT_EQ(value, c.code == 0 ? c.value : kUntouched) << c.what;
    }
}

TEST_F(Replies, RegisterReadTakesOnlyItsOwnSevenFields) {
    const std::vector<ReplyCase> cases{
        {"plain", "\x06#0V1R12.5\r", 0, 12.5},
        {"negative with exponent", "\x06#0V1R-1.25E2\r", 0, -125.0},
        {"no number", "\x06#0V1R\r", -404081, 0},
        {"not a number", "\x06#0V1Rnan\r", -404081, 0},
        {"character after the number", "\x06#0V1R12.5V\r", -404081, 0},
        {"blank before the number", "\x06#0V1R 12.5\r", -404081, 0},
        {"no start character", "\x06*0V1R12.5\r", -404081, 0},
        {"two-digit address", "\x06#00V1R12.5\r", -404081, 0},
        {"write echoed for a read", "\x06#0V1W12.5\r", -404081, 0},
        {"only a CR", "\x06\r", -404081, 0},
        {"zero byte inside",
         "\x06#0V1R1\0"
         "2\r"s,
         -404081, 0},
        {"byte of 128 or more inside", "\x06#0V1R1\xb2.5\r", -404080, 0},
        {"acknowledgement of 128 or more", "\x86#0V1R12.5\r", -403078, 0},
        {"reply without acknowledgement", "#0V1R12.5\r", -404079, 0},
    };
    expectReplies(device(), cases, [](double& v) { return ZELKWD2_ParameterLesen(kPort, 0, "usoll1", &v); });
}

TEST_F(Replies, RangeReadWantsAnIntegerAndPassesItOnUnchecked) {
    const std::vector<ReplyCase> cases{
        {"range 3", "\x06#4M2R3\r", 0, 3},
        {"out of the known ranges", "\x06#4M2R17\r", 0, 17},
        {"negative", "\x06#4M2R-1\r", 0, -1},
        {"not an integer", "\x06#4M2R3.5\r", -404081, 0},
        {"echo of another set", "\x06#4M1R3\r", -404081, 0},
        {"no value", "\x06#4M2R\r", -404081, 0},
    };
    expectReplies(device(), cases, [](double& v) {
        int range = 0;
        const int rc = ZELKWD2_MessbereichLesen(kPort, 4, 2, &range);
        if (rc == 0) v = range;
        return rc;
    });
}

TEST_F(Replies, StatusChecksEachFixedCharacterThenTheSelector) {
    const std::vector<ReplyCase> cases{
        {"status 0x05", "\x06#1S1R$05\r", 0, 5},
        {"lower-case hexadecimal", "\x06#1S1R$af\r", 0, 0xAF},
        {"no dollar sign", "\x06#1S1R05\r", -404109, 0},
        {"another sign", "\x06#1S1R%05\r", -404109, 0},
        {"one hexadecimal digit", "\x06#1S1R$5\r", -404109, 0},
        {"three hexadecimal digits", "\x06#1S1R$005\r", -404109, 0},
        {"not hexadecimal", "\x06#1S1R$G5\r", -404109, 0},
        {"another command letter", "\x06#1M1R$05\r", -404109, 0},
        {"W for R", "\x06#1S1W$05\r", -404109, 0},
        {"another address", "\x06#2S1R$05\r", -404109, 0},
        // The fixed characters are checked before the selector digit.
        {"wrong selector and no dollar sign", "\x06#1S2R05\r", -404109, 0},
        {"selector 2 for 1", "\x06#1S2R$05\r", -404110, 0},
    };
    expectReplies(device(), cases, [](double& v) {
        int status = 0;
        const int rc = ZELKWD2_StatusLesen(kPort, 1, 1, &status);
        if (rc == 0) v = status;
        return rc;
    });
    device().answer("\x06#1S1R$05\r");
    int status = -1;
    EXPECT_EQ(ZELKWD2_StatusLesen(kPort, 1, 2, &status), -404111);
    EXPECT_EQ(status, -1);
}

TEST_F(Replies, ReadbackRepliesEndWithTheirUnitLetters) {
    const std::vector<ReplyCase> volts{
        {"volts", "\x06#012.345V\r", 0, 12.345},
        {"milliamperes for volts", "\x06#012.345MA\r", -116060, 0},
        {"no unit", "\x06#012.345\r", -116060, 0},
        {"no number", "\x06#0V\r", -116060, 0},
        {"byte of 128 or more inside", "\x06#01\xb2V\r", -116059, 0},
        {"CAN", "\x18", -116058, 0},
        {"acknowledgement of 128 or more", "\x86#012.3V\r", -116058, 0},
    };
    expectReplies(device(), volts, [](double& v) { return ZELKWD2_URead(kPort, 0, &v); });
    const std::vector<ReplyCase> milliamps{
        {"milliamperes", "\x06#0-0.5MA\r", 0, -0.5},
        {"volts for milliamperes", "\x06#012.3V\r", -116069, 0},
        {"M without A", "\x06#012.3M\r", -116069, 0},
        {"lower case", "\x06#012.3ma\r", -116069, 0},
    };
    expectReplies(device(), milliamps, [](double& v) { return ZELKWD2_IRead(kPort, 0, &v); });
}

TEST_F(Replies, IdentificationIsOneWordRightUpToTheCr) {
    const struct {
        const char* what;
        std::string answer;
        int code;
    } cases[] = {
        {"leading blank", "\x06#0 ZEL-KWD2\r", -404015},
        {"trailing blank", "\x06#0ZEL-KWD2 \r", -404015},
        {"tab inside", "\x06#0ZEL\tKWD2\r", -404015},
        {"empty text", "\x06#0\r", -404015},
        {"zero byte inside", "\x06#0ZEL\0KWD2\r"s, -404015},
        {"byte of 128 or more", "\x06#0ZEL-KWD2-\xe4\r", -404014},
        {"acknowledgement of 128 or more", "\x86#0ZEL-KWD2\r", -403012},
    };
    for (const auto& c : cases) {
        device().answer(c.answer);
        char id[28];
        std::memset(id, '@', sizeof id);
        EXPECT_EQ(ZELKWD2_IDLesen(kPort, 0, id), c.code) << c.what;
        EXPECT_EQ(id[0], '@') << c.what;
    }
    device().answer("\x06#0ZEL-KWD2-\x7e\r");
    char id[28] = {};
    EXPECT_EQ(ZELKWD2_IDLesen(kPort, 0, id), 0);
    EXPECT_STREQ(id, "ZEL-KWD2-~");
}

TEST_F(Replies, SetCommandsTakeTheAcknowledgementAlone) {
    const struct {
        const char* what;
        std::string answer;
        int full;   // register write
        int brief;  // direct set value
    } cases[] = {
        {"ACK", "\x06", 0, 0},
        {"NAK", "\x15", -402095, -402023},
        {"CAN", "\x18", -405096, -116024},
        {"acknowledgement of 128 or more", "\x86", -403097, -116024},
        {"reply without acknowledgement", "#0V1R\r", -404098, -116024},
    };
    for (const auto& c : cases) {
        device().answer(c.answer);
        EXPECT_EQ(ZELKWD2_ParameterSchreiben(kPort, 0, "usoll1", 1.0), c.full) << c.what;
        EXPECT_EQ(ZELKWD2_UWrite(kPort, 0, 1, 1.0), c.brief) << c.what;
    }
}

}  // namespace
