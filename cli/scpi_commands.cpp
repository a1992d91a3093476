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

    Bus& DeviceBus() { return bridge.DeviceBus(); }
    int Address() const { return client.address; }
    int Set() const { return suffix == 0 ? 1 : suffix; }
    const std::vector<Parameter>& Parameters() const { return unit.parameters; }

    void Fail(int number, const std::string& detail = {}) {
        std::string text = ErrorText(number);
        if (!detail.empty()) text += ";" + detail;
        client.errors.Push(number, std::move(text));
    }
    // A driver result: true on success; otherwise the error is queued. Limits the driver checks
    // before it sends anything become "data out of range" with the driver's own text.
    bool Device(int rc) {
        if (rc == 0) return true;
        const int number = -rc / 1000;
        if (number == 500 || number == 202) {
            Fail(kDataOutOfRange, DeviceBus().Message(rc));
        } else if (number == 401) {
            Fail(kIllegalParameterValue, DeviceBus().Message(rc));
        } else {
            client.errors.Push(-rc, DeviceBus().Message(rc));
        }
        return false;
    }
    // A query answer, or SCPI's not-a-number when the exchange failed.
    void Reply(int rc, const std::string& text) { answer = Device(rc) ? text : std::string(kNotANumber); }
    bool Writable() {
        if (!bridge.Settings().readOnly) return true;
        Fail(kCommandProtected);
        return false;
    }
    bool Count(std::size_t wanted) {
        if (Parameters().size() == wanted) return true;
        Fail(Parameters().size() < wanted ? kMissingParameter : kParameterNotAllowed);
        return false;
    }
};

using Handler = void (*)(Call&);

std::string Number(double value) {
    return record::ShortestNumber(value);
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

// MIN, MAX or DEF as a value; nullopt (with the error queued) when not available.
std::optional<double> LimitValue(Call& c, const std::string& word, const Limits& limits) {
    const std::optional<double>* chosen = word == "MIN" || word == "MINIMUM"   ? &limits.min
                                          : word == "MAX" || word == "MAXIMUM" ? &limits.max
                                          : word == "DEF" || word == "DEFAULT" ? &limits.def
                                                                               : nullptr;
    if (chosen == nullptr) {
        c.Fail(kDataTypeError);
        return std::nullopt;
    }
    if (!chosen->has_value()) {
        c.Fail(kIllegalParameterValue, "no " + word + " for this setting");
        return std::nullopt;
    }
    return **chosen;
}

// The one numeric parameter of a setting, in the base unit.
std::optional<double> NumberParameter(Call& c, Quantity quantity, const Limits& limits) {
    if (!c.Count(1)) return std::nullopt;
    const Parameter& p = c.Parameters().front();
    if (p.kind == Parameter::Kind::kCharacters) return LimitValue(c, p.text, limits);
    if (p.kind != Parameter::Kind::kNumber) {
        c.Fail(kDataTypeError);
        return std::nullopt;
    }
    double value = 0.0;
    if (const int error = ToBaseUnit(p, quantity, value); error != kNoError) {
        c.Fail(error);
        return std::nullopt;
    }
    return value;
}

// "VOLT? MAX" and the like answer the limit; true when the query had such a parameter (or a
// wrong one, whose error is queued).
bool LimitQuery(Call& c, const Limits& limits) {
    if (c.Parameters().empty()) return false;
    if (c.Parameters().size() > 1 || c.Parameters().front().kind != Parameter::Kind::kCharacters) {
        c.Fail(kParameterNotAllowed);
        return true;
    }
    if (const auto value = LimitValue(c, c.Parameters().front().text, limits)) c.answer = Number(*value);
    return true;
}

std::optional<bool> BooleanParameter(Call& c) {
    if (!c.Count(1)) return std::nullopt;
    const Parameter& p = c.Parameters().front();
    if (p.kind == Parameter::Kind::kCharacters && (p.text == "ON" || p.text == "OFF")) return p.text == "ON";
    if (p.kind == Parameter::Kind::kNumber && p.text.empty() && (p.number == 0.0 || p.number == 1.0)) {
        return p.number == 1.0;
    }
    c.Fail(p.kind == Parameter::Kind::kString                      ? kDataTypeError
           : p.kind == Parameter::Kind::kNumber && !p.text.empty() ? kInvalidSuffix
                                                                   : kIllegalParameterValue);
    return std::nullopt;
}

// Setting registers: the name's stem, the set digit, the unit and the driver's scale.
struct RegisterSetting {
    const char* stem;
    Quantity quantity;
    double scale;  // driver unit per base unit: 1000 for mA
};

std::string RegisterName(const RegisterSetting& r, int set) {
    return std::string(r.stem) + std::to_string(set);
}

Limits RegisterLimits(const std::string& name, double scale) {
    const zelkwd2::RegisterInfo* row = zelkwd2::FindRegister(name);
    if (row == nullptr) return {};
    if (row->check == zelkwd2::WriteCheck::kRange)
        return {row->low / scale, row->high / scale, row->low / scale};
    if (row->check == zelkwd2::WriteCheck::kNotNegative) return {0.0, std::nullopt, 0.0};
    return {};
}

void WriteSetting(Call& c, const RegisterSetting& r, int set) {
    const std::string name = RegisterName(r, set);
    const auto value = NumberParameter(c, r.quantity, RegisterLimits(name, r.scale));
    if (!value || !c.Writable()) return;
    c.Device(c.DeviceBus().WriteRegister(c.Address(), name.c_str(), *value * r.scale));
}

// Answers a register's value in the base unit.
void ReplyRegister(Call& c, const char* name, double scale) {
    double value = 0.0;
    const int rc = c.DeviceBus().ReadRegister(c.Address(), name, value);
    c.Reply(rc, Number(value / scale));
}

void ReadSetting(Call& c, const RegisterSetting& r, int set) {
    const std::string name = RegisterName(r, set);
    if (!LimitQuery(c, RegisterLimits(name, r.scale))) ReplyRegister(c, name.c_str(), r.scale);
}

constexpr RegisterSetting kVoltage{"usoll", Quantity::kVolt, 1.0};
constexpr RegisterSetting kCurrent{"isoll", Quantity::kAmpere, 1000.0};
constexpr RegisterSetting kVoltageTau{"tauu", Quantity::kSecond, 1.0};
constexpr RegisterSetting kCurrentTau{"taui", Quantity::kSecond, 1.0};
constexpr RegisterSetting kPulseWidth{"zeit", Quantity::kSecond, 1.0};

// The pulse width exists only in the pulse phase's set.
bool PulseSet(Call& c) {
    if (c.suffix == 0 || c.suffix == kPulseSet) return true;
    c.Fail(kHeaderSuffixOutOfRange);
    return false;
}

// The one whole-number parameter between the limits' MIN and MAX; nullopt with the error queued.
std::optional<int> WholeParameter(Call& c, const Limits& limits, const char* outOfRange) {
    const auto value = NumberParameter(c, Quantity::kNone, limits);
    if (!value) return std::nullopt;
    if (*value < *limits.min || *value > *limits.max || *value != std::floor(*value)) {
        c.Fail(kDataOutOfRange, outOfRange);
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

// Bus addresses a client may select.
const Limits kAddressLimits{0.0, 8.0, std::nullopt};

void SelectAddress(Call& c) {
    if (const auto address = WholeParameter(c, kAddressLimits, "bus address 0 to 8"))
        c.client.address = *address;
}

void ReadAddress(Call& c) {
    if (!LimitQuery(c, kAddressLimits)) c.answer = std::to_string(c.Address());
}

const Limits kRangeLimits{1.0, 4.0, std::nullopt};

void WriteRange(Call& c) {
    const auto range = WholeParameter(c, kRangeLimits, "measuring range 1 to 4 (AUTO for automatic)");
    if (range && c.Writable()) c.Device(c.DeviceBus().WriteRange(c.Address(), c.Set(), *range));
}

void ReadRange(Call& c) {
    if (LimitQuery(c, kRangeLimits)) return;
    int range = 0;
    const int rc = c.DeviceBus().ReadRange(c.Address(), c.Set(), range);
    c.Reply(rc, std::to_string(range));
}

void WriteAutoRange(Call& c) {
    const auto on = BooleanParameter(c);
    if (!on || !c.Writable()) return;
    if (*on) {
        c.Device(c.DeviceBus().WriteRange(c.Address(), c.Set(), 0));
        return;
    }
    // Leaving automatic ranging fixes the largest range, where no current is cut off; a fixed
    // range stays as it is.
    int range = 0;
    if (c.Device(c.DeviceBus().ReadRange(c.Address(), c.Set(), range)) && range == 0) {
        c.Device(c.DeviceBus().WriteRange(c.Address(), c.Set(), 4));
    }
}

void ReadAutoRange(Call& c) {
    if (!c.Count(0)) return;
    int range = 0;
    const int rc = c.DeviceBus().ReadRange(c.Address(), c.Set(), range);
    c.Reply(rc, range == 0 ? "1" : "0");
}

void SwitchOutput(Call& c, bool on) {
    if (c.Device(c.DeviceBus().DeviceFunction(c.Address(), on ? "start" : "stopp"))) {
        c.bridge.SetOutputState(c.client, c.Address(), on);
    }
}

void WriteOutput(Call& c) {
    const auto on = BooleanParameter(c);
    if (on && c.Writable()) SwitchOutput(c, *on);
}

void ReadOutput(Call& c) {
    if (c.Count(0)) c.answer = std::to_string(c.bridge.OutputState(c.Address()));
}

void Measure(Call& c, const char* name, double scale) {
    if (c.Count(0)) ReplyRegister(c, name, scale);
}

// The register name of KWD2:REG; nullopt with the error queued.
std::optional<std::string> RegisterParameter(Call& c, std::size_t count) {
    if (!c.Count(count)) return std::nullopt;
    if (c.Parameters().front().kind != Parameter::Kind::kString) {
        c.Fail(kDataTypeError, "the register name is a quoted string");
        return std::nullopt;
    }
    const std::string& name = c.Parameters().front().text;
    // The driver reads the name up to its first NUL: "iist1_v\0x" would reach a calibration
    // register past the access-code check, which compares whole strings.
    if (name.find('\0') != std::string::npos) {
        c.Fail(kIllegalParameterValue, "a register name holds no NUL byte");
        return std::nullopt;
    }
    return name;
}

bool IsCalibrationRegister(const std::string& name) {
    return std::find_if(kalibrierung::kRegister.begin(), kalibrierung::kRegister.end(),
                        [&](const char* r) { return name == r; }) != kalibrierung::kRegister.end();
}

void WriteRegister(Call& c) {
    const auto name = RegisterParameter(c, 2);
    if (!name) return;
    const Parameter& p = c.Parameters()[1];
    if (p.kind != Parameter::Kind::kNumber) {
        c.Fail(kDataTypeError);
        return;
    }
    if (!p.text.empty()) {
        c.Fail(kInvalidSuffix, "registers take the driver's units without a suffix");
        return;
    }
    if (!c.Writable()) return;
    if (IsCalibrationRegister(*name) && !c.bridge.Settings().calibration) {
        c.Fail(kCommandProtected, "calibration registers need --access-code");
        return;
    }
    c.Device(c.DeviceBus().WriteRegister(c.Address(), name->c_str(), p.number));
}

void ReadRegister(Call& c) {
    if (const auto name = RegisterParameter(c, 1)) ReplyRegister(c, name->c_str(), 1.0);
}

void Identify(Call& c) {
    if (!c.Count(0)) return;
    c.answer = "KWD2,kwd2ctl bridge," + c.bridge.Settings().portName + "," + c.bridge.Settings().version;
}

void Reset(Call& c) {
    if (!c.Count(0) || !c.Writable()) return;
    c.client.errors.Clear();
    SwitchOutput(c, false);
}

void ClearStatus(Call& c) {
    if (c.Count(0)) c.client.errors.Clear();
}

void OperationComplete(Call& c) {
    // Every unit has finished when the next one runs: nothing is ever pending.
    if (c.Count(0)) c.answer = std::string("1");
}

void NothingPending(Call& c) {
    c.Count(0);
}

void SelfTest(Call& c) {
    if (!c.Count(0)) return;
    std::string id;
    c.answer = std::string(c.DeviceBus().Identification(c.Address(), id) == 0 ? "0" : "1");
}

// One address per call, so that other clients' commands run between the time-outs of the
// empty addresses.
void Catalogue(Call& c) {
    if (c.progress == 0 && !c.Count(0)) return;
    const int address = c.progress;
    std::string id;
    std::string& list = *c.partial;
    if (c.DeviceBus().Identification(address, id) == 0 && id.compare(0, kFamily.size(), kFamily) == 0) {
        if (!list.empty()) list += ',';
        list += Quoted(std::to_string(address) + "," + id);
    }
    if (address < 8) {
        c.again = true;
        return;
    }
    c.answer = list.empty() ? std::string("\"\"") : list;
}

void DeviceIdentification(Call& c) {
    if (!c.Count(0)) return;
    std::string id;
    const int rc = c.DeviceBus().Identification(c.Address(), id);
    c.Reply(rc, Quoted(id));
}

void NextError(Call& c) {
    if (!c.Count(0)) return;
    const ErrorEntry e = c.client.errors.Pop();
    c.answer = std::to_string(e.number) + "," + Quoted(e.text);
}

struct Command {
    const char* pattern;
    int suffixMax;
    Handler write;  // nullptr: no setting form
    Handler query;  // nullptr: no query form
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> kTable{
        {"*IDN", 1, nullptr, Identify},
        {"*RST", 1, Reset, nullptr},
        {"*CLS", 1, ClearStatus, nullptr},
        {"*OPC", 1, NothingPending, OperationComplete},
        {"*WAI", 1, NothingPending, nullptr},
        {"*TST", 1, nullptr, SelfTest},
        {"INSTrument[:SELect]", 1, SelectAddress, ReadAddress},
        {"INSTrument:NSELect", 1, SelectAddress, ReadAddress},
        {"INSTrument:CATalog", 1, nullptr, Catalogue},
        {"SYSTem:DEVice:ID", 1, nullptr, DeviceIdentification},
        {"SYSTem:ERRor[:NEXT]", 1, nullptr, NextError},
        {"SYSTem:ERRor:COUNt", 1, nullptr,
         [](Call& c) {
             if (c.Count(0)) c.answer = std::to_string(c.client.errors.Size());
         }},
        {"SYSTem:VERSion", 1, nullptr,
         [](Call& c) {
             if (c.Count(0)) c.answer = std::string("1999.0");
         }},
        {"[SOURce#:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", 3,
         [](Call& c) { WriteSetting(c, kVoltage, c.Set()); },
         [](Call& c) { ReadSetting(c, kVoltage, c.Set()); }},
        {"[SOURce#:]CURRent[:LEVel][:IMMediate][:AMPLitude]", 3,
         [](Call& c) { WriteSetting(c, kCurrent, c.Set()); },
         [](Call& c) { ReadSetting(c, kCurrent, c.Set()); }},
        {"[SOURce#:]VOLTage:TAU", 3, [](Call& c) { WriteSetting(c, kVoltageTau, c.Set()); },
         [](Call& c) { ReadSetting(c, kVoltageTau, c.Set()); }},
        {"[SOURce#:]CURRent:TAU", 3, [](Call& c) { WriteSetting(c, kCurrentTau, c.Set()); },
         [](Call& c) { ReadSetting(c, kCurrentTau, c.Set()); }},
        {"[SOURce#:]PULSe:WIDTh", 3,
         [](Call& c) {
             if (PulseSet(c)) WriteSetting(c, kPulseWidth, kPulseSet);
         },
         [](Call& c) {
             if (PulseSet(c)) ReadSetting(c, kPulseWidth, kPulseSet);
         }},
        {"SENSe#:CURRent[:DC]:RANGe[:UPPer]", 3, WriteRange, ReadRange},
        {"SENSe#:CURRent[:DC]:RANGe:AUTO", 3, WriteAutoRange, ReadAutoRange},
        {"OUTPut[:STATe]", 1, WriteOutput, ReadOutput},
        {"MEASure[:SCALar]:VOLTage[:DC]", 1, nullptr, [](Call& c) { Measure(c, "uist", 1.0); }},
        {"MEASure[:SCALar]:CURRent[:DC]", 1, nullptr, [](Call& c) { Measure(c, "iist", 1000.0); }},
        {"KWD2:STATus1", 1, nullptr,
         [](Call& c) {
             if (!c.Count(0)) return;
             int status = 0;
             const int rc = c.DeviceBus().ReadStatus(c.Address(), 1, status);
             c.Reply(rc, std::to_string(status));
         }},
        {"KWD2:REGister", 1, WriteRegister, ReadRegister},
    };
    return kTable;
}

struct Patterns {
    std::vector<Pattern> list;
    Patterns() {
        for (const Command& c : Commands()) list.emplace_back(c.pattern, c.suffixMax);
    }
};

// Finds the command of a unit; on failure `error` says why.
const Command* Find(const Unit& unit, int& suffix, int& error) {
    static const Patterns kPatterns;
    error = kUndefinedHeader;
    for (std::size_t i = 0; i < kPatterns.list.size(); ++i) {
        const int result = kPatterns.list[i].Match(unit, suffix);
        if (result == kNoError) return &Commands()[i];
        if (result == kHeaderSuffixOutOfRange) error = result;
    }
    return nullptr;
}

}  // namespace

void ErrorQueue::Push(int number, std::string text) {
    if (entries_.size() >= kCapacity) {
        entries_.back() = {kQueueOverflow, ErrorText(kQueueOverflow)};
        return;
    }
    entries_.push_back({number, std::move(text)});
}

ErrorEntry ErrorQueue::Pop() {
    if (entries_.empty()) return {kNoError, ErrorText(kNoError)};
    ErrorEntry e = std::move(entries_.front());
    entries_.pop_front();
    return e;
}

void Bridge::SetOutputState(const ClientState& client, int address, bool on) {
    outputs_.at(static_cast<std::size_t>(address)) = on ? 1 : 0;
    if (onOutputSwitch) onOutputSwitch(client, address, on);
}

Message::Message(std::string_view line) : units_(ParseMessage(line)) {}

struct Message::Pending {
    Unit unit;
    Handler handler;
    int suffix;
    int progress = 0;
    std::string partial;
};

Message::~Message() = default;

void Message::Step(Bridge& bridge, ClientState& client) {
    if (Done()) return;
    if (!pending_) {
        const ParsedUnit& parsed = units_[next_++];
        if (parsed.error != kNoError) {
            client.errors.Push(parsed.error, ErrorText(parsed.error));
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
            command = Find(unit, suffix, error);
            if (command != nullptr || error != kUndefinedHeader || depth == 0) break;
        }
        if (!unit.common) path_ = NextPath({}, unit);
        const Handler handler = command == nullptr ? nullptr : unit.query ? command->query : command->write;
        if (handler == nullptr) {
            client.errors.Push(error, ErrorText(error));
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

std::string Message::Response() const {
    if (answers_.empty()) return {};
    std::string line;
    for (const std::string& a : answers_) {
        if (!line.empty()) line += ';';
        line += a;
    }
    return line + "\n";
}

std::string Execute(Bridge& bridge, ClientState& client, std::string_view line) {
    Message message(line);
    while (!message.Done()) message.Step(bridge, client);
    return message.Response();
}

}  // namespace scpi
