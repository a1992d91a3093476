// Simulated KWD2 serial bus behind a POSIX pseudo-terminal, for tests, benchmarks and demos.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kwd2sim {

enum class Fault {
    None,
    Silent,
    Nak,
    Can,
    GarbageFirstByte,
    WrongAddress,
    WrongEcho,
    MissingCr,
    OverlongReply,
    Slow,
    HangUp
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

    const std::string& path() const;  // slave path (or the link) to open as a serial port
    void addKwd2(int address, std::string identification = "ZEL-KWD2-V1.5", double loadOhms = 100.0);
    void addForeign(int address, std::string identification);
    void setFault(int address, Fault fault);  // applies to every following request to that address
    // Applies only to the next `requests` requests to that address; then the device is healthy.
    void setFault(int address, Fault fault, int requests);
    void setSlowDelay(double seconds);  // for Fault::Slow: delay before each reply byte
    void start();                       // serve on a thread until stop()/destructor
    void stop();
    std::vector<TraceEntry> trace() const;  // every byte both ways since the last clear
    std::string hostBytes() const;          // only what the host sent, concatenated
    void clearTrace();
    // Device state, for tests:
    double registerValue(int address, const std::string& name) const;
    void setRegisterValue(int address, const std::string& name, double value);
    int range(int address, int parameterSet) const;
    void setStatusByte(int address, int selector, int value);  // overrides the modelled value
    bool running(int address) const;
    void injectBytes(const std::string& bytes);  // push stray bytes to the host now (late replies)
    // Which of parameter sets 1 and 2 drives the output (the device's own set switch).
    void selectParameterSet(int address, int parameterSet);
    // The adapter is pulled: the terminal and its link disappear, and a host holding the line
    // sees a hang-up. Devices keep their state.
    void unplug();
    // The adapter is back: a new terminal, linked to the same path when a link was given, served
    // again if it was served before. No effect while plugged in.
    void replug();
    bool pluggedIn() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Parses a fault name as given on the command line ("silent", "nak", "hangup", ...).
bool faultFromName(const std::string& name, Fault& fault);

}  // namespace kwd2sim
