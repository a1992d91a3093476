// The one-shot commands: scan, id, get, set, start, stop and cal.
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string_view>

#include "cli/context.h"
#include "cli/kwd2ctl.h"
#include "driver/kalibrierdatensatz.h"
#include "driver/zelkwd2.h"
#include "driver/zelkwd2_registers.h"
#include "platform/safefile.h"
#include "record/rowwriter.h"

namespace kwd2ctl {

namespace {

constexpr std::string_view kFamily = "ZEL-KWD2";

// File errors of the calibration commands.
constexpr int kCalFileNotWritable = -308232;
constexpr int kCalFileWriteFailed = -301233;
constexpr int kCalFileNotReadable = -308234;
constexpr int kCalFileTooShort = -304235;
constexpr int kCalFileWrongType = -302236;
constexpr int kCalFileWrongVersion = -303237;

// A name that get and set understand besides the registers.
enum class Kind { kRegister, kRange, kStatus };
struct Name {
    std::string text;
    Kind kind;
    int number;  // parameter set of a range, selector of a status byte
};

Name Resolve(const std::string& text, bool forWriting) {
    if (zelkwd2::FindRegister(text) != nullptr) return {text, Kind::kRegister, 0};
    for (int set = 1; set <= 3; ++set) {
        if (text == "range" + std::to_string(set)) return {text, Kind::kRange, set};
    }
    if (text == "status1" && !forWriting) return {text, Kind::kStatus, 1};
    throw UsageError("unknown name '" + text + "'" + (forWriting && text == "status1" ? " for set" : ""));
}

// The panel's read-back order of the sixteen parameters, then the live readings.
constexpr std::array<const char*, 19> kDefaultGet{
    "usoll1", "isoll1", "tauu1", "taui1", "usoll2", "isoll2", "tauu2", "taui2", "range1",  "range2",
    "usoll3", "isoll3", "tauu3", "taui3", "zeit3",  "range3", "uist",  "iist",  "status1",
};

void Check(int code) {
    if (code != 0) throw Failure{code, {}};
}

std::string ReadValue(const Context& ctx, const Name& name) {
    if (name.kind == Kind::kRegister) {
        double value = 0.0;
        Check(ZELKWD2_ParameterLesen(ctx.port, ctx.Address(), name.text.c_str(), &value));
        return record::ShortestNumber(value);
    }
    int value = 0;
    Check(name.kind == Kind::kRange ? ZELKWD2_MessbereichLesen(ctx.port, ctx.Address(), name.number, &value)
                                    : ZELKWD2_StatusLesen(ctx.port, ctx.Address(), name.number, &value));
    return std::to_string(value);
}

struct Assignment {
    Name name;
    double value;
};

Assignment ParseAssignment(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("expected NAME=VALUE, got '" + text + "'");
    Assignment a{Resolve(text.substr(0, eq), true), ParseNumber(text.substr(eq + 1), text.substr(0, eq))};
    if (a.name.kind == Kind::kRange && a.value != std::floor(a.value)) {
        throw UsageError(a.name.text + ": a range is a whole number 0 (auto) to 4: '" + text.substr(eq + 1) +
                         "'");
    }
    return a;
}

int DeviceFunction(Context& ctx, const char* function) {
    if (!ctx.inv.arguments.empty()) throw UsageError(ctx.inv.command + " takes no arguments");
    RequireOneAddress(ctx, true);
    OpenLine(ctx);
    Check(ZELKWD2_DeviceFunction(ctx.port, ctx.Address(), function));
    return kExitOk;
}

void WriteCalibrationFile(const std::string& path, const kalibrierung::Datei& bytes) {
    // Renamed over the target only when complete on disk: a failed write never leaves half a file
    // in place of a good one.
    using Step = platform::SafeFileStep;
    const platform::SafeFileResult r =
        platform::SafeFile_Replace(path, {"", ".kwd2ctl-tmp", 100}, bytes.data(), bytes.size());
    if (r.ok) return;
    const bool notWritable =
        r.step == Step::kInspect || r.step == Step::kCheckTarget || r.step == Step::kCreateTemp;
    throw Failure{notWritable ? kCalFileNotWritable : kCalFileWriteFailed, path};
}

Kalibrierdatensatz ReadCalibrationFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw Failure{kCalFileNotReadable, path};
    kalibrierung::Datei bytes{};
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.gcount() != static_cast<std::streamsize>(bytes.size())) throw Failure{kCalFileTooShort, path};
    const Kalibrierdatensatz record = kalibrierung::Deserialisieren(bytes);
    if (!kalibrierung::KennungStimmt(record)) throw Failure{kCalFileWrongType, path};
    if (record.version != kalibrierung::kVersion) throw Failure{kCalFileWrongVersion, path};
    return record;
}

}  // namespace

int ScanCommand(Context& ctx) {
    if (!ctx.inv.arguments.empty()) throw UsageError("scan takes no arguments");
    OpenLine(ctx);
    bool found = false;
    for (int address = 0; address <= 8; ++address) {
        std::array<char, 64> id{};
        const int rc = ZELKWD2_IDLesen(ctx.port, address, id.data());
        if (rc != 0) {
            ctx.Note("address " + std::to_string(address) + ": error " + std::to_string(-rc));
            continue;
        }
        const bool kwd2 = std::string_view(id.data()).substr(0, kFamily.size()) == kFamily;
        found = found || kwd2;
        ctx.out << address << '\t' << (kwd2 ? "kwd2" : "foreign") << '\t' << id.data() << '\n' << std::flush;
    }
    if (!found) ctx.err << "kwd2ctl: no KWD2 device answered on " << ctx.inv.portName << '\n';
    return found ? kExitOk : kExitFailure;
}

int IdCommand(Context& ctx) {
    if (!ctx.inv.arguments.empty()) throw UsageError("id takes no arguments");
    RequireOneAddress(ctx, false);
    OpenLine(ctx);
    std::array<char, 64> id{};
    Check(ZELKWD2_IDLesen(ctx.port, ctx.Address(), id.data()));
    ctx.out << id.data() << '\n';
    return kExitOk;
}

int GetCommand(Context& ctx) {
    RequireOneAddress(ctx, false);
    const std::vector<std::string> given =
        ctx.inv.arguments.empty() ? std::vector<std::string>(kDefaultGet.begin(), kDefaultGet.end())
                                  : ctx.inv.arguments;
    std::vector<Name> names;
    for (const auto& n : given) names.push_back(Resolve(n, false));
    OpenLine(ctx);
    for (const Name& name : names) {
        // Each line as soon as it is read: a failure later still leaves the earlier values.
        ctx.out << name.text << '=' << ReadValue(ctx, name) << '\n' << std::flush;
    }
    return kExitOk;
}

int SetCommand(Context& ctx) {
    RequireOneAddress(ctx, true);
    if (ctx.inv.arguments.empty()) throw UsageError("set needs NAME=VALUE");
    std::vector<Assignment> assignments;
    for (const auto& text : ctx.inv.arguments) assignments.push_back(ParseAssignment(text));
    OpenLine(ctx);
    for (const Assignment& a : assignments) {
        ctx.Note("set " + a.name.text + "=" + record::ShortestNumber(a.value));
        if (a.name.kind == Kind::kRegister) {
            Check(ZELKWD2_ParameterSchreiben(ctx.port, ctx.Address(), a.name.text.c_str(), a.value));
        } else {
            // Outside the int range the driver's own range check refuses it.
            const int range = std::fabs(a.value) < 1e6 ? static_cast<int>(a.value) : -1;
            Check(ZELKWD2_MessbereichSchreiben(ctx.port, ctx.Address(), a.name.number, range));
        }
    }
    return kExitOk;
}

int StartCommand(Context& ctx) {
    return DeviceFunction(ctx, "start");
}

int StopCommand(Context& ctx) {
    return DeviceFunction(ctx, "stopp");
}

int CalCommand(Context& ctx) {
    const auto& args = ctx.inv.arguments;
    if (args.size() != 2 || (args[0] != "read" && args[0] != "write")) {
        throw UsageError("cal read FILE or cal write FILE --access-code CODE");
    }
    const bool writing = args[0] == "write";
    RequireOneAddress(ctx, writing);
    const auto code = ctx.inv.Option("access-code");
    if (writing && code != kalibrierung::kZugangsCode) {
        throw UsageError(code ? "wrong calibration access code" : "cal write needs --access-code CODE");
    }
    if (!writing && code) throw UsageError("cal read takes no access code");
    // The whole file is checked before the first factor goes out.
    Kalibrierdatensatz record = writing ? ReadCalibrationFile(args[1]) : kalibrierung::NeuerDatensatz();
    OpenLine(ctx);
    for (std::size_t i = 0; i < record.faktoren.size(); ++i) {
        const char* name = kalibrierung::kRegister[i];
        Check(writing ? ZELKWD2_ParameterSchreiben(ctx.port, ctx.Address(), name, record.faktoren[i])
                      : ZELKWD2_ParameterLesen(ctx.port, ctx.Address(), name, &record.faktoren[i]));
    }
    if (!writing) WriteCalibrationFile(args[1], kalibrierung::Serialisieren(record));
    return kExitOk;
}

}  // namespace kwd2ctl
