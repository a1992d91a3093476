// monitor and run: rounds of readings (uist, iist, status byte 1 per address) on a fixed grid
// of due times, written as rows by the shared row writer.
#include <chrono>
#include <cmath>
#include <fstream>
#include <optional>

#include "cli/context.h"
#include "cli/kwd2ctl.h"
#include "cli/steps.h"
#include "driver/zelkwd2.h"
#include "platform/rs232.h"
#include "platform/stopsignal.h"
#include "record/rowwriter.h"

namespace kwd2ctl {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr int kStepsNotReadable = -308238;
constexpr auto kReopenEvery = std::chrono::seconds(1);

struct LogOptions {
    double interval = 0.5;  // the program's own tick
    long long count = 0;    // 0: no limit
    double duration = 0.0;  // 0: no limit
    std::string output;     // "" or "-": standard output
    record::Format format = record::Format::kCsv;
    bool reconnect = false;
};

LogOptions LogOptionsOf(const Invocation& inv) {
    LogOptions o;
    if (auto v = inv.Option("interval")) {
        o.interval = ParseNumber(*v, "-i");
        if (o.interval < 0.0 || o.interval > 86400.0)
            throw UsageError("-i must be 0 to 86400 seconds: '" + *v + "'");
    }
    if (inv.Option("count") && inv.Option("duration"))
        throw UsageError("give -n COUNT or -d SECONDS, not both");
    if (auto v = inv.Option("count")) o.count = ParseCount(*v, "-n");
    if (auto v = inv.Option("duration")) {
        o.duration = ParseNumber(*v, "-d");
        if (o.duration <= 0.0) throw UsageError("-d must be more than 0 seconds: '" + *v + "'");
    }
    if (auto v = inv.Option("output")) o.output = *v;
    if (auto v = inv.Option("format")) {
        if (*v != "csv" && *v != "jsonl") throw UsageError("--format must be csv or jsonl: '" + *v + "'");
        o.format = *v == "csv" ? record::Format::kCsv : record::Format::kJsonLines;
    }
    o.reconnect = inv.Option("reconnect").has_value();
    return o;
}

Clock::duration ToDuration(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(Seconds(seconds));
}

void CheckWrite(int code, const record::RowWriter& writer) {
    if (code != 0) throw Failure{code, writer.ErrorText()};
}

// The log and the clock it measures elapsed time with.
class Log {
  public:
    Log(Context& ctx, const LogOptions& options) : ctx_(ctx), options_(options) {}

    void Open() {
        record::Session session{
            "kwd2ctl", Version(), ctx_.inv.portName, ctx_.devicePath, std::chrono::system_clock::now(), {}};
        for (const int address : ctx_.inv.addresses) {
            session.devices.emplace_back(address, IdentificationOrNote(ctx_.port, address));
        }
        const bool toStdout = options_.output.empty() || options_.output == "-";
        const int rc = toStdout ? writer_.OpenStream(ctx_.out, options_.format)
                                : writer_.OpenFile(options_.output, options_.format);
        if (rc != 0) throw Failure{rc, options_.output + ": " + writer_.ErrorText()};
        CheckWrite(writer_.WriteHeader(session), writer_);
        start_ = Clock::now();
    }

    // Reads one address and writes its row; returns the row's error code (0 or negative).
    int ReadRow(int address) {
        record::Row row;
        row.time = std::chrono::system_clock::now();
        row.elapsedSeconds = Seconds(Clock::now() - start_).count();
        row.address = address;
        double volts = 0.0;
        double milliamps = 0.0;
        int status = 0;
        int rc = ZELKWD2_ParameterLesen(ctx_.port, address, "uist", &volts);
        if (rc == 0) rc = ZELKWD2_ParameterLesen(ctx_.port, address, "iist", &milliamps);
        if (rc == 0) rc = ZELKWD2_StatusLesen(ctx_.port, address, 1, &status);
        if (rc == 0) {
            row.volts = volts;
            row.milliamps = milliamps;
            row.status1 = status;
        } else {
            row.error = -rc;
        }
        CheckWrite(writer_.WriteRow(row), writer_);
        return rc;
    }

    // One round over every address, cut short by a stop request between two addresses.
    struct Round {
        int firstError = 0;
        bool lineLost = false;
        bool stopped = false;
    };
    Round NextRound() {
        Round r;
        for (const int address : ctx_.inv.addresses) {
            if (StopSignal_Requested()) {
                r.stopped = true;
                break;
            }
            const int rc = ReadRow(address);
            if (rc != 0 && r.firstError == 0) r.firstError = rc;
            if (rc != 0 && ctx_.port != 0 && Rs232_LineLost(ctx_.port) != 0) r.lineLost = true;
        }
        return r;
    }

    void Comment(const std::string& text) { CheckWrite(writer_.WriteComment(text), writer_); }

    // Reopens the line every second until it is back, the deadline passes or a stop comes.
    bool AwaitLine(int code, std::optional<Clock::time_point> deadline) {
        Comment("line lost at " + record::IsoTime(std::chrono::system_clock::now()) + ": " +
                std::to_string(-code) + " " + MessageFor(code));
        CloseLine(ctx_);
        const auto lostAt = Clock::now();
        for (;;) {
            auto next = Clock::now() + kReopenEvery;
            if (deadline && next > *deadline) next = *deadline;
            if (StopSignal_SleepUntil(next)) return false;
            if (deadline && Clock::now() >= *deadline) return false;
            if (ReopenLine(ctx_)) break;
        }
        Comment("line back at " + record::IsoTime(std::chrono::system_clock::now()) + " after " +
                record::ShortestNumber(std::round(Seconds(Clock::now() - lostAt).count() * 1000.0) / 1000.0) +
                " s");
        return true;
    }

    // The first due time of the grid at or after now (missed rounds are dropped, not caught up).
    Clock::time_point NextDue(Clock::time_point due) const {
        const auto step = ToDuration(options_.interval);
        const auto now = Clock::now();
        if (step <= Clock::duration::zero()) return now;
        due += step;
        if (due < now) due += ((now - due) / step + 1) * step;
        return due;
    }

    Clock::time_point Start() const { return start_; }
    void Finish() { CheckWrite(writer_.Close(), writer_); }

  private:
    Context& ctx_;
    const LogOptions& options_;
    record::RowWriter writer_;
    Clock::time_point start_;
};

}  // namespace

int MonitorCommand(Context& ctx) {
    if (!ctx.inv.arguments.empty()) throw UsageError("monitor takes no arguments");
    const LogOptions options = LogOptionsOf(ctx.inv);
    for (const int address : ctx.inv.addresses) {
        if (address == 9) throw UsageError("monitor reads devices: bus addresses 0 to 8");
    }
    OpenLine(ctx);
    Log log(ctx, options);
    log.Open();
    std::optional<Clock::time_point> end;
    if (options.duration > 0.0) end = log.Start() + ToDuration(options.duration);
    auto due = log.Start();
    for (long long rounds = 0; options.count == 0 || rounds < options.count; ++rounds) {
        if (end && due >= *end) break;
        if (StopSignal_SleepUntil(due)) break;
        const Log::Round r = log.NextRound();
        if (r.stopped) break;
        if (r.lineLost && options.reconnect && !log.AwaitLine(r.firstError, end)) break;
        due = log.NextDue(due);
    }
    log.Finish();
    return kExitOk;
}

int RunCommand(Context& ctx) {
    if (ctx.inv.arguments.size() != 1) throw UsageError("run needs one step list: run STEPS.csv");
    const std::string& fileName = ctx.inv.arguments[0];
    RequireOneAddress(ctx, false);
    const LogOptions options = LogOptionsOf(ctx.inv);
    std::ifstream file(fileName);
    if (!file) throw Failure{kStepsNotReadable, fileName};
    const std::vector<Step> steps = ParseSteps(file, fileName);

    OpenLine(ctx);
    Log log(ctx, options);
    log.Open();
    const int address = ctx.Address();
    // The output goes off on every way out once it may have been switched on.
    const auto stopOutput = [&](int cause, const std::string& why) {
        const int rc = ctx.port != 0 ? ZELKWD2_DeviceFunction(ctx.port, address, "stopp") : 0;
        log.Comment("output stopped: " + why +
                    (rc != 0 ? " (stop failed: " + std::to_string(-rc) + ")" : ""));
        if (cause != 0) throw Failure{cause, "output stopped"};
        if (rc != 0) throw Failure{rc, "stopping the output"};
    };
    const auto write = [&](const char* name, double value) {
        if (const int rc = ZELKWD2_ParameterSchreiben(ctx.port, address, name, value); rc != 0) {
            stopOutput(rc, std::string("writing ") + name + " failed");
        }
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        if (StopSignal_Requested()) {
            stopOutput(0, "stop signal");
            return kExitOk;
        }
        log.Comment("step " + std::to_string(i + 1) + " of " + std::to_string(steps.size()) + " (line " +
                    std::to_string(s.line) + "): " + record::ShortestNumber(s.volts) + " V, " +
                    record::ShortestNumber(s.milliamps) + " mA, hold " +
                    record::ShortestNumber(s.holdSeconds) + " s");
        write("usoll1", s.volts);
        write("isoll1", s.milliamps);
        if (s.tauVolts) write("tauu1", *s.tauVolts);
        if (s.tauMilliamps) write("taui1", *s.tauMilliamps);
        if (i == 0) {
            if (const int rc = ZELKWD2_DeviceFunction(ctx.port, address, "start"); rc != 0) {
                stopOutput(rc, "start failed");
            }
        }
        const auto stepEnd = Clock::now() + ToDuration(s.holdSeconds);
        for (auto due = Clock::now(); due < stepEnd; due = log.NextDue(due)) {
            if (StopSignal_SleepUntil(due)) break;
            const Log::Round r = log.NextRound();
            if (r.firstError != 0) stopOutput(r.firstError, "reading failed");
        }
        if (StopSignal_SleepUntil(stepEnd)) {
            stopOutput(0, "stop signal");
            ctx.err << "kwd2ctl: stopped in step " << i + 1 << " of " << steps.size() << "; output stopped\n";
            return kExitOk;
        }
    }
    stopOutput(0, "end of the step list");
    log.Finish();
    return kExitOk;
}

}  // namespace kwd2ctl
