#include "sim/device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace kwd2sim::detail {

const std::array<RegisterInfo, kRegisterCount> kRegisters = {{
    {"usoll1", "V1", 1, Check::kVolts},      {"usoll2", "V2", 1, Check::kVolts},
    {"usoll3", "V3", 1, Check::kVolts},      {"isoll1", "C1", 1, Check::kMilliamps},
    {"isoll2", "C2", 1, Check::kMilliamps},  {"isoll3", "C3", 1, Check::kMilliamps},
    {"tauu1", "F1", 3, Check::kNonNegative}, {"tauu2", "F2", 3, Check::kNonNegative},
    {"taui1", "F3", 3, Check::kNonNegative}, {"taui2", "F4", 3, Check::kNonNegative},
    {"tauu3", "F5", 3, Check::kNonNegative}, {"taui3", "F6", 3, Check::kNonNegative},
    {"zeit3", "T3", 3, Check::kNonNegative}, {"uist", "V0", 3, Check::kReadOnly},
    {"iist", "C0", 3, Check::kReadOnly},     {"usoll_v", "01", 6, Check::kPositive},
    {"usoll_off", "02", 6, Check::kNone},    {"uist_v", "03", 6, Check::kPositive},
    {"uist_off", "04", 6, Check::kNone},     {"isoll1_v", "05", 6, Check::kPositive},
    {"isoll1_off", "06", 6, Check::kNone},   {"iist1_v", "07", 6, Check::kPositive},
    {"iist1_off", "08", 6, Check::kNone},    {"isoll2_v", "09", 6, Check::kPositive},
    {"isoll2_off", "10", 6, Check::kNone},   {"iist2_v", "11", 6, Check::kPositive},
    {"iist2_off", "12", 6, Check::kNone},    {"isoll3_v", "13", 6, Check::kPositive},
    {"isoll3_off", "14", 6, Check::kNone},   {"iist3_v", "15", 6, Check::kPositive},
    {"iist3_off", "16", 6, Check::kNone},    {"isoll4_v", "17", 6, Check::kPositive},
    {"isoll4_off", "18", 6, Check::kNone},   {"iist4_v", "19", 6, Check::kPositive},
    {"iist4_off", "20", 6, Check::kNone},
}};

namespace {

// Room for the value in each reply: the reply limits of the host minus the fixed characters.
constexpr std::size_t kRegisterValueChars = 19 - 6;   // '#', a, three echoed characters, CR
constexpr std::size_t kVoltsValueChars = 15 - 4;      // '#', a, 'V', CR
constexpr std::size_t kMilliampsValueChars = 15 - 5;  // '#', a, 'M', 'A', CR

// Upper end of the four current measuring ranges in mA; Auto picks the smallest that fits.
constexpr std::array<double, 4> kRangeFullScale = {6.0, 60.0, 600.0, 6000.0};

struct SetRegisters {
    const char* volts;
    const char* milliamps;
    const char* tauVolts;
    const char* tauMilliamps;
};
constexpr std::array<SetRegisters, 3> kSetRegisters = {{
    {"usoll1", "isoll1", "tauu1", "taui1"},
    {"usoll2", "isoll2", "tauu2", "taui2"},
    {"usoll3", "isoll3", "tauu3", "taui3"},
}};

constexpr std::array<const char*, 4> kCurrentSetGain = {"isoll1_v", "isoll2_v", "isoll3_v", "isoll4_v"};
constexpr std::array<const char*, 4> kCurrentSetOffset = {"isoll1_off", "isoll2_off", "isoll3_off",
                                                          "isoll4_off"};
constexpr std::array<const char*, 4> kCurrentGain = {"iist1_v", "iist2_v", "iist3_v", "iist4_v"};
constexpr std::array<const char*, 4> kCurrentOffset = {"iist1_off", "iist2_off", "iist3_off", "iist4_off"};

bool WithinLimits(Check check, double v) {
    switch (check) {
        case Check::kReadOnly:
            return false;
        case Check::kVolts:
            return v >= 0.0 && v <= 250.0;
        case Check::kMilliamps:
            return v >= 0.0 && v <= 6000.0;
        case Check::kNonNegative:
            return v >= 0.0;
        case Check::kPositive:
            return v > 0.0;
        case Check::kNone:
            return true;
    }
    return false;
}

double Approach(double current, double target, double tau, double dt) {
    if (!(tau > 0.0)) return target;
    return current + (target - current) * (1.0 - std::exp(-dt / tau));
}

int AutoRange(double milliamps) {
    for (std::size_t i = 0; i < kRangeFullScale.size(); ++i) {
        if (std::fabs(milliamps) <= kRangeFullScale[i]) return static_cast<int>(i) + 1;
    }
    return 4;
}

Answer Nak() {
    Answer a;
    a.ack = kNak;
    return a;
}

}  // namespace

int RegisterByName(std::string_view name) {
    for (std::size_t i = 0; i < kRegisters.size(); ++i) {
        if (name == kRegisters[i].name) return static_cast<int>(i);
    }
    return -1;
}

int RegisterByCode(std::string_view code) {
    for (std::size_t i = 0; i < kRegisters.size(); ++i) {
        if (code == kRegisters[i].code) return static_cast<int>(i);
    }
    return -1;
}

std::string FormatValue(double value, int decimals, std::size_t maxChars) {
    std::string text;
    for (int d = decimals; d >= 0; --d) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f", d, value);
        text = buffer;
        // A value that rounds to zero is sent without a sign.
        if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
        if (text.size() <= maxChars) break;
    }
    // Still too long without decimals: the field saturates, as a display does, rather than
    // sending a reply the host must cut.
    if (text.size() > maxChars)
        text = value < 0 ? "-" + std::string(maxChars - 1, '9') : std::string(maxChars, '9');
    return text;
}

std::optional<double> ParseValue(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    const std::size_t intStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == intStart) return std::nullopt;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fracStart = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == fracStart) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

Device::Device(int address, std::string identification, bool kwd2, double loadOhms, double now)
    : address_(address),
      identification_(std::move(identification)),
      kwd2_(kwd2),
      loadOhms_(loadOhms),
      lastUpdate_(now) {
    for (std::size_t i = 0; i < kRegisters.size(); ++i) {
        registers_[i] = kRegisters[i].check == Check::kPositive ? 1.0 : 0.0;  // gains 1, rest 0
    }
}

Answer Device::Reply(std::string echo, std::string value, std::string tail) const {
    Answer a;
    a.hasReply = true;
    a.head.reserve(2 + echo.size());
    a.head.push_back('#');
    a.head.push_back(static_cast<char>('0' + address_));
    a.head.append(echo);
    a.value = std::move(value);
    a.tail = std::move(tail);
    return a;
}

Answer Device::Handle(std::string_view body, double now) {
    if (!kwd2_) return body == "IDR" ? Reply({}, identification_) : Nak();
    return HandleKwd2(body, now);
}

Answer Device::HandleKwd2(std::string_view body, double now) {
    if (body == "IDR") return Reply({}, identification_);
    if (body == "DF1" || body == "DF2") {
        body[2] == '1' ? Start(now) : Stop(now);
        return Answer{};
    }
    if (body == "VL" || body == "AL") return DirectRead(body[0], now);
    if (body.size() >= 3 && body[1] == 'S' &&
        std::string_view("VWAB").find(body[0]) != std::string_view::npos) {
        return DirectWrite(body[0], body.substr(2), now) ? Answer{} : Nak();
    }
    if (body.size() < 3) return Nak();
    const std::string_view code = body.substr(0, 2);
    const char op = body[2];
    const std::string_view rest = body.substr(3);
    if (code[0] == 'M' && code[1] >= '1' && code[1] <= '3') {
        const int set = code[1] - '0';
        if (op == 'R' && rest.empty()) return Reply(std::string(body), std::to_string(Range(set)));
        if (op == 'W' && rest.size() == 1 && rest[0] >= '0' && rest[0] <= '4') {
            Advance(now);
            SetRange(set, rest[0] - '0');
            return Answer{};
        }
        return Nak();
    }
    if (code[0] == 'S' && (code[1] == '1' || code[1] == '2') && op == 'R' && rest.empty()) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "$%02X", Status(code[1] - '0', now) & 0xff);
        return Reply(std::string(body), hex);
    }
    const int index = RegisterByCode(code);
    if (index < 0) return Nak();
    if (op == 'R' && rest.empty()) return ReadRegister(index, body, now);
    if (op == 'W') return WriteRegister(index, rest, now) ? Answer{} : Nak();
    return Nak();
}

Answer Device::ReadRegister(int index, std::string_view echo, double now) {
    const double v = RegisterValue(index, now);
    return Reply(std::string(echo), FormatValue(v, kRegisters[index].decimals, kRegisterValueChars));
}

bool Device::WriteRegister(int index, std::string_view valueText, double now) {
    const auto value = ParseValue(valueText);
    if (!value || !WithinLimits(kRegisters[index].check, *value)) return false;
    SetRegisterValue(index, *value, now);
    return true;
}

Answer Device::DirectRead(char quantity, double now) {
    if (quantity == 'V') {
        return Reply({}, FormatValue(RegisterValue(RegisterByName("uist"), now), 3, kVoltsValueChars), "V");
    }
    return Reply({}, FormatValue(RegisterValue(RegisterByName("iist"), now), 3, kMilliampsValueChars), "MA");
}

bool Device::DirectWrite(char letter, std::string_view valueText, double now) {
    // Selector 1 sets parameter set 1, selector 2 parameter set 2.
    static constexpr std::string_view kLetters = "VWAB";
    static constexpr std::array<const char*, 4> kTargets = {"usoll1", "usoll2", "isoll1", "isoll2"};
    const int index = RegisterByName(kTargets[kLetters.find(letter)]);
    return WriteRegister(index, valueText, now);
}

double& Device::Reg(const char* name) {
    return registers_[RegisterByName(name)];
}

double Device::RegisterValue(int index, double now) {
    const std::string_view name = kRegisters.at(index).name;
    if (name == "uist") {
        const Output out = OutputAt(now);
        return Reg("uist_v") * out.volts + Reg("uist_off");
    }
    if (name == "iist") {
        const Output out = OutputAt(now);
        const std::size_t r = ActiveRange(now) - 1;
        return registers_[RegisterByName(kCurrentGain[r])] * out.milliamps +
               registers_[RegisterByName(kCurrentOffset[r])];
    }
    return registers_[index];
}

void Device::SetRegisterValue(int index, double value, double now) {
    Advance(now);  // the lag so far ran towards the old set values
    registers_.at(index) = value;
}

int Device::Range(int parameterSet) const {
    return ranges_.at(parameterSet - 1);
}

void Device::OverrideStatus(int selector, int value) {
    auto& slot = statusOverride_.at(selector - 1);
    if (value < 0) {
        slot.reset();
    } else {
        slot = value & 0xff;
    }
}

int Device::Status(int selector, double now) {
    if (const auto& o = statusOverride_.at(selector - 1)) return *o;
    const Output out = OutputAt(now);
    if (selector == 1) {
        const int setBit = PhaseSet() == 2 ? 1 : 0;
        return setBit | ((ActiveRange(now) - 1) << 1);
    }
    // Status byte 2: output on, pulse phase, current limit reached.
    const bool limited = running_ && out.volts + 1e-9 < voltsLag_;
    return (running_ ? 1 : 0) | (pulse_ ? 2 : 0) | (limited ? 4 : 0);
}

void Device::SelectParameterSet(int set, double now) {
    if (set != 1 && set != 2) throw std::invalid_argument("parameter set must be 1 or 2");
    Advance(now);
    selectedSet_ = set;
}

void Device::Start(double now) {
    Advance(now);
    running_ = true;
    const double pulseTime = Reg("zeit3");
    pulse_ = pulseTime > 0.0;
    pulseEnd_ = now + pulseTime;
}

void Device::Stop(double now) {
    Advance(now);
    running_ = false;
    pulse_ = false;
}

int Device::PhaseSet() const {
    return running_ && pulse_ ? 3 : selectedSet_;
}

void Device::Advance(double now) {
    for (;;) {
        const bool pulseEnds = running_ && pulse_ && pulseEnd_ <= now;
        const double end = pulseEnds ? std::max(pulseEnd_, lastUpdate_) : now;
        const double dt = std::max(0.0, end - lastUpdate_);
        const SetRegisters& set = kSetRegisters[PhaseSet() - 1];
        double targetVolts = 0.0;
        double targetMilliamps = 0.0;
        if (running_) {
            targetVolts = std::max(0.0, Reg("usoll_v") * Reg(set.volts) + Reg("usoll_off"));
            const int r = Range(PhaseSet()) == 0 ? AutoRange(Reg(set.milliamps)) : Range(PhaseSet());
            targetMilliamps =
                std::max(0.0, registers_[RegisterByName(kCurrentSetGain[r - 1])] * Reg(set.milliamps) +
                                  registers_[RegisterByName(kCurrentSetOffset[r - 1])]);
        }
        voltsLag_ = Approach(voltsLag_, targetVolts, Reg(set.tauVolts), dt);
        milliampsLag_ = Approach(milliampsLag_, targetMilliamps, Reg(set.tauMilliamps), dt);
        lastUpdate_ = std::max(lastUpdate_, end);
        if (!pulseEnds) return;
        pulse_ = false;  // the pulse phase is over: parameter set 1 takes over
        selectedSet_ = 1;
    }
}

Device::Output Device::OutputAt(double now) {
    Advance(now);
    if (!(loadOhms_ > 0.0)) return {0.0, milliampsLag_};  // short circuit
    // Constant voltage until the load would draw more than the current set value.
    const double volts = std::min(voltsLag_, milliampsLag_ * loadOhms_ / 1000.0);
    return {volts, volts / loadOhms_ * 1000.0};
}

int Device::ActiveRange(double now) {
    const int configured = Range(PhaseSet());
    if (configured >= 1 && configured <= 4) return configured;
    return AutoRange(OutputAt(now).milliamps);
}

}  // namespace kwd2sim::detail
