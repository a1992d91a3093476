// kwd2ctl: the command table, the line, and how failures become messages and exit statuses.
#include "cli/kwd2ctl.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "cli/context.h"
#include "driver/zelkwd2.h"
#include "errors/ZEL_errorV3.h"
#include "platform/console.h"
#include "platform/rs232.h"
#include "record/rowwriter.h"

#ifndef KWD2CTL_VERSION
#define KWD2CTL_VERSION "unknown"
#endif

namespace kwd2ctl {

namespace {

constexpr const char* kUsage =
    "usage: kwd2ctl [-p PORT] [-a ADDR] [--timeout SECONDS] [-v] COMMAND [ARGS...]\n"
    "\n"
    "  -p PORT            COM1 ... COM8 (KWD2_COMn maps them) or a device path;\n"
    "                     default $KWD2_PORT, else COM1\n"
    "  -a ADDR            bus address 0 ... 8 (9 = all devices, only for set, start, stop);\n"
    "                     monitor takes a list such as 2,5; default $KWD2_ADDR, else 0\n"
    "  --timeout SECONDS  wait for each byte from the device at most this long (default 1.0)\n"
    "  -v                 tell on standard error what is being done\n"
    "\n"
    "commands:\n"
    "  scan                           list the devices at addresses 0 ... 8\n"
    "  id                             print the identification of the device\n"
    "  get [NAME...]                  print NAME=VALUE lines (all parameters without names)\n"
    "  set NAME=VALUE...              write registers and range1 ... range3, in order\n"
    "  start | stop                   start or stop the output\n"
    "  monitor [-i SECONDS] [-n COUNT | -d SECONDS] [-o FILE] [--format csv|jsonl] [--reconnect]\n"
    "                                 log voltage, current and status of each address\n"
    "  run STEPS.csv [-i SECONDS] [-o FILE] [--format csv|jsonl]\n"
    "                                 run a step list (voltage_V,current_mA,hold_s[,tau_u_s,tau_i_s])\n"
    "  cal read FILE                  calibration factors from the device into a .kwd file\n"
    "  cal write FILE --access-code CODE\n"
    "                                 calibration factors from a .kwd file into the device\n"
    "  serve [--listen HOST:PORT] [--read-only] [--access-code CODE] [--max-clients N]\n"
    "                                 answer SCPI on a TCP socket (default 127.0.0.1:5025)\n"
    "\n"
    "Exit status: 0 success, 1 device, line or file error, 2 usage error. See kwd2ctl(1).\n";

struct Command {
    const char* name;
    int (*handler)(Context&);  // checks its arguments before it opens the line
    std::vector<CommandOption> options;
};

// New commands (a SCPI bridge, say) join here with their options.
const std::array<Command, 10>& Commands() {
    static const std::array<Command, 10> kTable{{
        {"scan", ScanCommand, {}},
        {"id", IdCommand, {}},
        {"get", GetCommand, {}},
        {"set", SetCommand, {}},
        {"start", StartCommand, {}},
        {"stop", StopCommand, {}},
        {"monitor",
         MonitorCommand,
         {{"interval", 'i', true},
          {"count", 'n', true},
          {"duration", 'd', true},
          {"output", 'o', true},
          {"format", 0, true},
          {"reconnect", 0, false}}},
        {"run", RunCommand, {{"interval", 'i', true}, {"output", 'o', true}, {"format", 0, true}}},
        {"cal", CalCommand, {{"access-code", 0, true}}},
        {"serve",
         ServeCommand,
         {{"listen", 0, true}, {"read-only", 0, false}, {"access-code", 0, true}, {"max-clients", 0, true}}},
    }};
    return kTable;
}

const Command* FindCommand(const std::string& name) {
    for (const Command& c : Commands()) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

const std::vector<CommandOption>& OptionsOf(const std::string& name) {
    static const std::vector<CommandOption> kNone;
    const Command* c = FindCommand(name);
    return c != nullptr ? c->options : kNone;
}

// The driver's port number for -p. A device path travels the way the program maps ports:
// through KWD2_COM1.
int DriverPort(const Context& ctx) {
    const int port = ComPortNumber(ctx.inv.portName);
    if (port != 0) return port;
    PutEnv("KWD2_COM1", ctx.inv.portName.c_str());
    return 1;
}

// Holds the opened port and sets the time-out; when that fails the line is closed again.
int TakePort(Context& ctx, int port) {
    ctx.port = port;
    const int rc = ZELKWD2_Timeout(port, ctx.inv.timeoutSeconds);
    if (rc != 0) CloseLine(ctx);
    return rc;
}

}  // namespace

const char* Version() {
    return KWD2CTL_VERSION;
}

// Catalogue texts are Latin-1; terminals and logs expect UTF-8.
std::string MessageFor(int code) {
    return record::Utf8FromLatin1(ZEL_Fehlermeldung(code));
}

void Context::Note(const std::string& text) const {
    if (inv.verbose) err << "kwd2ctl: " << text << '\n';
}

void OpenLine(Context& ctx) {
    const int port = DriverPort(ctx);
    std::array<char, 4096> path{};
    const std::string name = "com" + std::to_string(port);
    ctx.devicePath = Rs232_DevicePath(name.c_str(), path.data(), static_cast<int>(path.size())) >= 0
                         ? path.data()
                         : ctx.inv.portName;
    // A link (/dev/serial/by-id/...) is shown with the device it stands for.
    std::error_code error;
    if (const auto real = std::filesystem::canonical(ctx.devicePath, error); !error)
        ctx.devicePath = real.string();
    ctx.Note("opening " + ctx.inv.portName + " (" + ctx.devicePath + ")");
    if (const int rc = ZELKWD2_Open(port); rc != 0) {
        const bool busy = Rs232_LastOpenResult(port) == RS232_PORT_IN_USE;
        throw Failure{
            rc, (busy ? "port in use: " : "cannot open ") + ctx.inv.portName + " (" + ctx.devicePath + ")"};
    }
    if (const int rc = TakePort(ctx, port); rc != 0) throw Failure{rc, {}};
}

void CloseLine(Context& ctx) {
    if (ctx.port != 0) ZELKWD2_Close(ctx.port);
    ctx.port = 0;
}

bool ReopenLine(Context& ctx) {
    CloseLine(ctx);
    const int port = DriverPort(ctx);
    return ZELKWD2_Open(port) == 0 && TakePort(ctx, port) == 0;
}

void RequireOneAddress(const Context& ctx, bool commonAllowed) {
    if (ctx.inv.addresses.size() != 1) throw UsageError(ctx.inv.command + " takes one bus address");
    if (ctx.Address() == 9 && !commonAllowed) {
        throw UsageError("bus address 9 (all devices) only for set, start and stop");
    }
}

std::string IdentificationOrNote(int port, int address) {
    std::array<char, 64> id{};
    const int rc = ZELKWD2_IDLesen(port, address, id.data());
    if (rc == 0) return id.data();
    return "(no identification: error " + std::to_string(-rc) + ")";
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ZEL_Fehlersprache(2);
    Context ctx{{}, out, err, 0, {}};
    try {
        ctx.inv = ParseCommandLine(args, OptionsOf);
        if (ctx.inv.help) {
            out << kUsage;
            return kExitOk;
        }
        if (ctx.inv.version) {
            out << "kwd2ctl " << Version() << '\n';
            return kExitOk;
        }
        if (ctx.inv.command.empty()) throw UsageError("no command given");
        const Command* command = FindCommand(ctx.inv.command);
        if (command == nullptr) throw UsageError("unknown command '" + ctx.inv.command + "'");
        const int status = command->handler(ctx);
        CloseLine(ctx);
        return status;
    } catch (const UsageError& e) {
        CloseLine(ctx);
        err << "kwd2ctl: " << e.what() << "\nTry 'kwd2ctl --help' for more information.\n";
        return kExitUsage;
    } catch (const Failure& f) {
        CloseLine(ctx);
        err << "kwd2ctl: " << -f.code << ": " << MessageFor(f.code);
        if (!f.detail.empty()) err << " (" << f.detail << ")";
        err << '\n';
        return kExitFailure;
    }
}

}  // namespace kwd2ctl
