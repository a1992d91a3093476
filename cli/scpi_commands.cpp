#include "cli/scpi_commands.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "driver/kalibrierdatensatz.h"
#include "driver/zelkwd2_registers.h"
#include "record/rowwriter.h"

namespace scpi {

namespace {

constexpr std::string_view kFamily = "ZEL-KWD2";
constexpr int kPulseSet = 3;

struct Limits {
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> def;
};

// One matched unit being carried out.
struct Call {
    Bridge& bridge;
    ClientState& client;
    const Unit& unit;
    int suffix;  // 0 when the header carried none
    std::optional<std::string> answer;
    // A unit of several exchanges runs one per call: `progress` counts the calls before,
    // `partial` keeps what they found, and `again` asks for one more call.
    int progress = 0;
    std::string* partial = nullptr;
    bool again = false;

    Bus& bus() { return bridge.bus(); }
    int address() const { return client.address; }
    int set() const { return suffix == 0 ? 1 : suffix; }
    const std::vector<Parameter>& parameters() const { return unit.parameters; }

    void fail(int number, const std::string& detail = {}) {
        std::string text = errorText(number);
        if (!detail.empty()) text += ";" + detail;
        client.errors.push(number, std::move(text));
    }
    // A driver result: true on success; otherwise the error is queued. Limits the driver checks
    // before it sends anything become "data out of range" with the driver's own text.
    bool device(int rc) {
        if (rc == 0) return true;
        const int number = -rc / 1000;
        if (number == 500 || number == 202) {
            fail(kDataOutOfRange, bus().message(rc));
        } else if (number == 401) {
            fail(kIllegalParameterValue, bus().message(rc));
        } else {
            client.errors.push(-rc, bus().message(rc));
        }
        return false;
    }
    // A query answer, or SCPI's not-a-number when the exchange failed.
    void reply(int rc, const std::string& text) { answer = device(rc) ? text : std::string(kNotANumber); }
    bool writable() {
        if (!bridge.settings().readOnly) return true;
        fail(kCommandProtected);
        return false;
    }
    bool count(std::size_t wanted) {
        if (parameters().size() < wanted) {
            fail(kMissingParameter);
            return false;
        }
        if (parameters().size() > wanted) {
            fail(kParameterNotAllowed);
            return false;
        }
        return true;
    }
};

using Handler = void (*)(Call&);

std::string number(double value) {
    return record::shortestNumber(value);
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

// MIN, MAX or DEF as a value; nullopt (with the error queued) when not available.
std::optional<double> limitValue(Call& c, const std::string& word, const Limits& limits) {
    const std::optional<double>* chosen = word == "MIN" || word == "MINIMUM"   ? &limits.min
                                          : word == "MAX" || word == "MAXIMUM" ? &limits.max
                                          : word == "DEF" || word == "DEFAULT" ? &limits.def
                                                                               : nullptr;
    if (chosen == nullptr) {
        c.fail(kDataTypeError);
        return std::nullopt;
    }
    if (!chosen->has_value()) {
        c.fail(kIllegalParameterValue, "no " + word + " for this setting");
        return std::nullopt;
    }
    return **chosen;
}

// The one numeric parameter of a setting, in the base unit.
std::optional<double> numberParameter(Call& c, Quantity quantity, const Limits& limits) {
    if (!c.count(1)) return std::nullopt;
    const Parameter& p = c.parameters().front();
    if (p.kind == Parameter::Kind::Characters) return limitValue(c, p.text, limits);
    if (p.kind != Parameter::Kind::Number) {
        c.fail(kDataTypeError);
        return std::nullopt;
    }
    double value = 0.0;
    if (const int error = toBaseUnit(p, quantity, value); error != kNoError) {
        c.fail(error);
        return std::nullopt;
    }
    return value;
}

// "VOLT? MAX" and the like answer the limit; true when the query had such a parameter (or a
// wrong one, whose error is queued).
bool limitQuery(Call& c, const Limits& limits) {
    if (c.parameters().empty()) return false;
    if (c.parameters().size() > 1 || c.parameters().front().kind != Parameter::Kind::Characters) {
        c.fail(kParameterNotAllowed);
        return true;
    }
    if (const auto value = limitValue(c, c.parameters().front().text, limits)) c.answer = number(*value);
    return true;
}

std::optional<bool> booleanParameter(Call& c) {
    if (!c.count(1)) return std::nullopt;
    const Parameter& p = c.parameters().front();
    if (p.kind == Parameter::Kind::Characters && (p.text == "ON" || p.text == "OFF")) return p.text == "ON";
    if (p.kind == Parameter::Kind::Number && p.text.empty() && (p.number == 0.0 || p.number == 1.0)) {
        return p.number == 1.0;
    }
    if (p.kind == Parameter::Kind::String) {
        c.fail(kDataTypeError);
    } else {
        c.fail(p.kind == Parameter::Kind::Number && !p.text.empty() ? kInvalidSuffix
                                                                    : kIllegalParameterValue);
    }
    return std::nullopt;
}

// Setting registers: the name's stem, the set digit, the unit and the driver's scale.
struct RegisterSetting {
    const char* stem;
    Quantity quantity;
    double scale;  // driver unit per base unit: 1000 for mA
};

std::string registerName(const RegisterSetting& r, int set) {
    return std::string(r.stem) + std::to_string(set);
}

Limits registerLimits(const std::string& name, double scale) {
    const zelkwd2::RegisterInfo* row = zelkwd2::findRegister(name);
    Limits limits;
    if (row == nullptr) return limits;
    if (row->check == zelkwd2::WriteCheck::Range) {
        limits = {row->low / scale, row->high / scale, row->low / scale};
    } else if (row->check == zelkwd2::WriteCheck::NotNegative) {
        limits = {0.0, std::nullopt, 0.0};
    }
    return limits;
}

void writeSetting(Call& c, const RegisterSetting& r, int set) {
    const std::string name = registerName(r, set);
    const auto value = numberParameter(c, r.quantity, registerLimits(name, r.scale));
    if (!value || !c.writable()) return;
    c.device(c.bus().writeRegister(c.address(), name.c_str(), *value * r.scale));
}

void readSetting(Call& c, const RegisterSetting& r, int set) {
    const std::string name = registerName(r, set);
    if (limitQuery(c, registerLimits(name, r.scale))) return;
    double value = 0.0;
    const int rc = c.bus().readRegister(c.address(), name.c_str(), value);
    c.reply(rc, number(value / r.scale));
}

constexpr RegisterSetting kVoltage{"usoll", Quantity::Volt, 1.0};
constexpr RegisterSetting kCurrent{"isoll", Quantity::Ampere, 1000.0};
constexpr RegisterSetting kVoltageTau{"tauu", Quantity::Second, 1.0};
constexpr RegisterSetting kCurrentTau{"taui", Quantity::Second, 1.0};
constexpr RegisterSetting kPulseWidth{"zeit", Quantity::Second, 1.0};

// The pulse width exists only in the pulse phase's set.
bool pulseSet(Call& c) {
    if (c.suffix == 0 || c.suffix == kPulseSet) return true;
    c.fail(kHeaderSuffixOutOfRange);
    return false;
}

// Bus addresses a client may select.
const Limits kAddressLimits{0.0, 8.0, std::nullopt};

void selectAddress(Call& c) {
    const auto value = numberParameter(c, Quantity::None, kAddressLimits);
    if (!value) return;
    if (*value < 0.0 || *value > 8.0 || *value != std::floor(*value)) {
        c.fail(kDataOutOfRange, "bus address 0 to 8");
        return;
    }
    c.client.address = static_cast<int>(*value);
}

const Limits kRangeLimits{1.0, 4.0, std::nullopt};

void writeRange(Call& c) {
    const auto value = numberParameter(c, Quantity::None, kRangeLimits);
    if (!value) return;
    if (*value < 1.0 || *value > 4.0 || *value != std::floor(*value)) {
        c.fail(kDataOutOfRange, "measuring range 1 to 4 (AUTO for automatic)");
        return;
    }
    if (c.writable()) c.device(c.bus().writeRange(c.address(), c.set(), static_cast<int>(*value)));
}

void readRange(Call& c) {
    if (limitQuery(c, kRangeLimits)) return;
    int range = 0;
    const int rc = c.bus().readRange(c.address(), c.set(), range);
    c.reply(rc, std::to_string(range));
}

void writeAutoRange(Call& c) {
    const auto on = booleanParameter(c);
    if (!on || !c.writable()) return;
    if (*on) {
        c.device(c.bus().writeRange(c.address(), c.set(), 0));
        return;
    }
    // Leaving automatic ranging fixes the largest range, where no current is cut off; a fixed
    // range stays as it is.
    int range = 0;
    if (c.device(c.bus().readRange(c.address(), c.set(), range)) && range == 0) {
        c.device(c.bus().writeRange(c.address(), c.set(), 4));
    }
}

void readAutoRange(Call& c) {
    if (!c.count(0)) return;
    int range = 0;
    const int rc = c.bus().readRange(c.address(), c.set(), range);
    c.reply(rc, range == 0 ? "1" : "0");
}

void switchOutput(Call& c, bool on) {
    if (c.device(c.bus().deviceFunction(c.address(), on ? "start" : "stopp"))) {
        c.bridge.setOutputState(c.client, c.address(), on);
    }
}

void writeOutput(Call& c) {
    const auto on = booleanParameter(c);
    if (on && c.writable()) switchOutput(c, *on);
}

void readOutput(Call& c) {
    if (c.count(0)) c.answer = std::to_string(c.bridge.outputState(c.address()));
}

void measure(Call& c, const char* name, double scale) {
    if (!c.count(0)) return;
    double value = 0.0;
    const int rc = c.bus().readRegister(c.address(), name, value);
    c.reply(rc, number(value / scale));
}

// The register name of KWD2:REG; nullopt with the error queued.
std::optional<std::string> registerParameter(Call& c, std::size_t count) {
    if (!c.count(count)) return std::nullopt;
    if (c.parameters().front().kind != Parameter::Kind::String) {
        c.fail(kDataTypeError, "the register name is a quoted string");
        return std::nullopt;
    }
    const std::string& name = c.parameters().front().text;
    // The driver reads the name up to its first NUL: "iist1_v\0x" would reach a calibration
    // register past the access-code check, which compares whole strings.
    if (name.find('\0') != std::string::npos) {
        c.fail(kIllegalParameterValue, "a register name holds no NUL byte");
        return std::nullopt;
    }
    return name;
}

bool isCalibrationRegister(const std::string& name) {
    return std::find_if(kalibrierung::kRegister.begin(), kalibrierung::kRegister.end(),
                        [&](const char* r) { return name == r; }) != kalibrierung::kRegister.end();
}

void writeRegister(Call& c) {
    const auto name = registerParameter(c, 2);
    if (!name) return;
    const Parameter& p = c.parameters()[1];
    if (p.kind != Parameter::Kind::Number) {
        c.fail(kDataTypeError);
        return;
    }
    if (!p.text.empty()) {
        c.fail(kInvalidSuffix, "registers take the driver's units without a suffix");
        return;
    }
    if (!c.writable()) return;
    if (isCalibrationRegister(*name) && !c.bridge.settings().calibration) {
        c.fail(kCommandProtected, "calibration registers need --access-code");
        return;
    }
    c.device(c.bus().writeRegister(c.address(), name->c_str(), p.number));
}

void readRegister(Call& c) {
    const auto name = registerParameter(c, 1);
    if (!name) return;
    double value = 0.0;
    const int rc = c.bus().readRegister(c.address(), name->c_str(), value);
    c.reply(rc, number(value));
}

void identify(Call& c) {
    if (!c.count(0)) return;
    c.answer = "KWD2,kwd2ctl bridge," + c.bridge.settings().portName + "," + c.bridge.settings().version;
}

void reset(Call& c) {
    if (!c.count(0) || !c.writable()) return;
    c.client.errors.clear();
    switchOutput(c, false);
}

void clearStatus(Call& c) {
    if (c.count(0)) c.client.errors.clear();
}

void operationComplete(Call& c) {
    // Every unit has finished when the next one runs: nothing is ever pending.
    if (c.count(0)) c.answer = std::string("1");
}

void nothingPending(Call& c) {
    c.count(0);
}

void selfTest(Call& c) {
    if (!c.count(0)) return;
    std::string id;
    c.answer = std::string(c.bus().identification(c.address(), id) == 0 ? "0" : "1");
}

// One address per call, so that other clients' commands run between the time-outs of the
// empty addresses.
void catalogue(Call& c) {
    if (c.progress == 0 && !c.count(0)) return;
    const int address = c.progress;
    std::string id;
    std::string& list = *c.partial;
    if (c.bus().identification(address, id) == 0 && id.compare(0, kFamily.size(), kFamily) == 0) {
        if (!list.empty()) list += ',';
        list += quoted(std::to_string(address) + "," + id);
    }
    if (address < 8) {
        c.again = true;
        return;
    }
    c.answer = list.empty() ? std::string("\"\"") : list;
}

void deviceIdentification(Call& c) {
    if (!c.count(0)) return;
    std::string id;
    const int rc = c.bus().identification(c.address(), id);
    c.reply(rc, quoted(id));
}

void nextError(Call& c) {
    if (!c.count(0)) return;
    const ErrorEntry e = c.client.errors.pop();
    c.answer = std::to_string(e.number) + "," + quoted(e.text);
}

struct Command {
    const char* pattern;
    int suffixMax;
    Handler write;  // nullptr: no setting form
    Handler query;  // nullptr: no query form
};

const std::vector<Command>& commands() {
    static const std::vector<Command> table{
        {"*IDN", 1, nullptr, identify},
        {"*RST", 1, reset, nullptr},
        {"*CLS", 1, clearStatus, nullptr},
        {"*OPC", 1, nothingPending, operationComplete},
        {"*WAI", 1, nothingPending, nullptr},
        {"*TST", 1, nullptr, selfTest},
        {"INSTrument[:SELect]", 1, selectAddress,
         [](Call& c) {
             if (!limitQuery(c, kAddressLimits)) c.answer = std::to_string(c.address());
         }},
        {"INSTrument:NSELect", 1, selectAddress,
         [](Call& c) {
             if (!limitQuery(c, kAddressLimits)) c.answer = std::to_string(c.address());
         }},
        {"INSTrument:CATalog", 1, nullptr, catalogue},
        {"SYSTem:DEVice:ID", 1, nullptr, deviceIdentification},
        {"SYSTem:ERRor[:NEXT]", 1, nullptr, nextError},
        {"SYSTem:ERRor:COUNt", 1, nullptr,
         [](Call& c) {
             if (c.count(0)) c.answer = std::to_string(c.client.errors.size());
         }},
        {"SYSTem:VERSion", 1, nullptr,
         [](Call& c) {
             if (c.count(0)) c.answer = std::string("1999.0");
         }},
        {"[SOURce#:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", 3,
         [](Call& c) { writeSetting(c, kVoltage, c.set()); },
         [](Call& c) { readSetting(c, kVoltage, c.set()); }},
        {"[SOURce#:]CURRent[:LEVel][:IMMediate][:AMPLitude]", 3,
         [](Call& c) { writeSetting(c, kCurrent, c.set()); },
         [](Call& c) { readSetting(c, kCurrent, c.set()); }},
        {"[SOURce#:]VOLTage:TAU", 3, [](Call& c) { writeSetting(c, kVoltageTau, c.set()); },
         [](Call& c) { readSetting(c, kVoltageTau, c.set()); }},
        {"[SOURce#:]CURRent:TAU", 3, [](Call& c) { writeSetting(c, kCurrentTau, c.set()); },
         [](Call& c) { readSetting(c, kCurrentTau, c.set()); }},
        {"[SOURce#:]PULSe:WIDTh", 3,
         [](Call& c) {
             if (pulseSet(c)) writeSetting(c, kPulseWidth, kPulseSet);
         },
         [](Call& c) {
             if (pulseSet(c)) readSetting(c, kPulseWidth, kPulseSet);
         }},
        {"SENSe#:CURRent[:DC]:RANGe[:UPPer]", 3, writeRange, readRange},
        {"SENSe#:CURRent[:DC]:RANGe:AUTO", 3, writeAutoRange, readAutoRange},
        {"OUTPut[:STATe]", 1, writeOutput, readOutput},
        {"MEASure[:SCALar]:VOLTage[:DC]", 1, nullptr, [](Call& c) { measure(c, "uist", 1.0); }},
        {"MEASure[:SCALar]:CURRent[:DC]", 1, nullptr, [](Call& c) { measure(c, "iist", 1000.0); }},
        {"KWD2:STATus1", 1, nullptr,
         [](Call& c) {
             if (!c.count(0)) return;
             int status = 0;
             const int rc = c.bus().readStatus(c.address(), 1, status);
             c.reply(rc, std::to_string(status));
         }},
        {"KWD2:REGister", 1, writeRegister, readRegister},
    };
    return table;
}

struct Patterns {
    std::vector<Pattern> list;
    Patterns() {
        for (const Command& c : commands()) list.emplace_back(c.pattern, c.suffixMax);
    }
};

// Finds the command of a unit; on failure `error` says why.
const Command* find(const Unit& unit, int& suffix, int& error) {
    static const Patterns patterns;
    error = kUndefinedHeader;
    for (std::size_t i = 0; i < patterns.list.size(); ++i) {
        int found = 0;
        const int result = patterns.list[i].match(unit, found);
        if (result == kNoError) {
            suffix = found;
            return &commands()[i];
        }
        if (result == kHeaderSuffixOutOfRange) error = result;
    }
    return nullptr;
}

}  // namespace

void ErrorQueue::push(int number, std::string text) {
    if (entries_.size() >= kCapacity) {
        entries_.back() = {kQueueOverflow, errorText(kQueueOverflow)};
        return;
    }
    entries_.push_back({number, std::move(text)});
}

ErrorEntry ErrorQueue::pop() {
    if (entries_.empty()) return {kNoError, errorText(kNoError)};
    ErrorEntry e = std::move(entries_.front());
    entries_.pop_front();
    return e;
}

void Bridge::setOutputState(const ClientState& client, int address, bool on) {
    outputs_.at(static_cast<std::size_t>(address)) = on ? 1 : 0;
    if (onOutputSwitch) onOutputSwitch(client, address, on);
}

Message::Message(std::string_view line) : units_(parseMessage(line)) {}

struct Message::Pending {
    Unit unit;
    Handler handler;
    int suffix;
    int progress = 0;
    std::string partial;
};

Message::~Message() = default;

void Message::step(Bridge& bridge, ClientState& client) {
    if (done()) return;
    if (!pending_) {
        const ParsedUnit& parsed = units_[next_++];
        if (parsed.error != kNoError) {
            client.errors.push(parsed.error, errorText(parsed.error));
            return;
        }
        // Below the path of the unit before; a header that is not there is looked for one level
        // up at a time, so "SOUR2:VOLT:TAU 1;CURR:TAU 1" stays in set 2 and
        // "MEAS:VOLT?;MEAS:CURR?" works.
        Unit unit = parsed.unit;
        const Command* command = nullptr;
        int suffix = 0;
        int error = kUndefinedHeader;
        std::size_t depth = unit.common || unit.absolute ? 0 : path_.size();
        for (;; --depth) {
            unit.nodes = parsed.unit.nodes;
            unit.nodes.insert(unit.nodes.begin(), path_.begin(),
                              path_.begin() + static_cast<std::ptrdiff_t>(depth));
            command = find(unit, suffix, error);
            if (command != nullptr || error != kUndefinedHeader || depth == 0) break;
        }
        if (!unit.common) path_ = nextPath({}, unit);
        const Handler handler = command == nullptr ? nullptr : unit.query ? command->query : command->write;
        if (handler == nullptr) {
            client.errors.push(error, errorText(error));
            next_ = units_.size();  // the rest of the message is not run
            return;
        }
        pending_ = std::make_unique<Pending>(Pending{std::move(unit), handler, suffix, 0, {}});
    }
    Call call{bridge, client, pending_->unit, pending_->suffix, std::nullopt};
    call.progress = pending_->progress;
    call.partial = &pending_->partial;
    pending_->handler(call);
    if (call.again) {
        ++pending_->progress;
        return;
    }
    if (call.answer) answers_.push_back(*call.answer);
    pending_.reset();
}

std::string Message::response() const {
    if (answers_.empty()) return {};
    std::string line;
    for (const std::string& a : answers_) {
        if (!line.empty()) line += ';';
        line += a;
    }
    return line + "\n";
}

std::string execute(Bridge& bridge, ClientState& client, std::string_view line) {
    Message message(line);
    while (!message.done()) message.step(bridge, client);
    return message.response();
}

}  // namespace scpi
