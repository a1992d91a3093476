// What every command works with: the parsed command line, the open line and the two streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/options.h"

namespace kwd2ctl {

// A failed device, line or file operation: exit status 1 with the code's catalogue text.
struct Failure {
    int code;
    std::string detail;  // appended in parentheses when not empty
};

struct Context {
    Invocation inv;
    std::ostream& out;
    std::ostream& err;
    int port = 0;  // the driver's port number while the line is open
    std::string devicePath;

    int Address() const { return inv.addresses.front(); }
    void Note(const std::string& text) const;  // only with -v
};

// Opens the line named by -p, takes it exclusively and sets the time-out. Throws Failure.
void OpenLine(Context& ctx);
void CloseLine(Context& ctx);
// Reopens a lost line; false while it is not back.
bool ReopenLine(Context& ctx);

// Commands: each returns the exit status or throws UsageError / Failure.
int ScanCommand(Context& ctx);
int IdCommand(Context& ctx);
int GetCommand(Context& ctx);
int SetCommand(Context& ctx);
int StartCommand(Context& ctx);
int StopCommand(Context& ctx);
int CalCommand(Context& ctx);
int MonitorCommand(Context& ctx);
int RunCommand(Context& ctx);
int ServeCommand(Context& ctx);

// Address checks shared by the commands.
void RequireOneAddress(const Context& ctx, bool commonAllowed);

// The code's English catalogue text as UTF-8.
std::string MessageFor(int code);

// The device's identification, or a note of the failure (for log headers).
std::string IdentificationOrNote(int port, int address);

}  // namespace kwd2ctl
