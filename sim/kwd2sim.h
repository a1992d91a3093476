// Simulated KWD2 serial bus behind a POSIX pseudo-terminal, for tests, benchmarks and demos.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kwd2sim {

enum class Fault {
    kNone,
    kSilent,
    kNak,
    kCan,
    kGarbageFirstByte,
    kWrongAddress,
    kWrongEcho,
    kMissingCr,
    kOverlongReply,
    kSlow,
    kHangUp
};

struct TraceEntry {
    double seconds;
    bool fromHost;
    unsigned char byte;
};

struct Options {
    bool pace = false;
    std::string tracePath;
    std::string linkPath;
};

class Simulator {
  public:
    explicit Simulator(Options options = {});  // opens a pty master, raw mode
    ~Simulator();                              // stops the thread, closes the pty
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    const std::string& Path() const;  // slave path (or the link) to open as a serial port
    void AddKwd2(int address, std::string identification = "ZEL-KWD2-V1.5", double loadOhms = 100.0);
    void AddForeign(int address, std::string identification);
    void SetFault(int address, Fault fault);  // applies to every following request to that address
    // Applies only to the next `requests` requests to that address; then the device is healthy.
    void SetFault(int address, Fault fault, int requests);
    void SetSlowDelay(double seconds);  // for Fault::Slow: delay before each reply byte
    void Start();                       // serve on a thread until stop()/destructor
    void Stop();
    std::vector<TraceEntry> Trace() const;  // every byte both ways since the last clear
    std::string HostBytes() const;          // only what the host sent, concatenated
    void ClearTrace();
    // Device state, for tests:
    double RegisterValue(int address, const std::string& name) const;
    void SetRegisterValue(int address, const std::string& name, double value);
    int Range(int address, int parameterSet) const;
    void SetStatusByte(int address, int selector, int value);  // overrides the modelled value
    bool Running(int address) const;
    void InjectBytes(const std::string& bytes);  // push stray bytes to the host now (late replies)
    // Which of parameter sets 1 and 2 drives the output (the device's own set switch).
    void SelectParameterSet(int address, int parameterSet);
    // The adapter is pulled: the terminal and its link disappear, and a host holding the line
    // sees a hang-up. Devices keep their state.
    void Unplug();
    // The adapter is back: a new terminal, linked to the same path when a link was given, served
    // again if it was served before. No effect while plugged in.
    void Replug();
    bool PluggedIn() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Parses a fault name as given on the command line ("silent", "nak", "hangup", ...).
bool FaultFromName(const std::string& name, Fault& fault);

}  // namespace kwd2sim
