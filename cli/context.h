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

    int address() const { return inv.addresses.front(); }
    void note(const std::string& text) const;  // only with -v
};

// Opens the line named by -p, takes it exclusively and sets the time-out. Throws Failure.
void openLine(Context& ctx);
void closeLine(Context& ctx);
// Reopens a lost line; false while it is not back.
bool reopenLine(Context& ctx);

// Commands: each returns the exit status or throws UsageError / Failure.
int scanCommand(Context& ctx);
int idCommand(Context& ctx);
int getCommand(Context& ctx);
int setCommand(Context& ctx);
int startCommand(Context& ctx);
int stopCommand(Context& ctx);
int calCommand(Context& ctx);
int monitorCommand(Context& ctx);
int runCommand(Context& ctx);
int serveCommand(Context& ctx);

// Address checks shared by the commands.
void requireOneAddress(const Context& ctx, bool commonAllowed);

// The code's English catalogue text as UTF-8.
std::string messageFor(int code);

// The device's identification, or a note of the failure (for log headers).
std::string identificationOrNote(int port, int address);

}  // namespace kwd2ctl
