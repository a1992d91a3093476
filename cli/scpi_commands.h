// The command tree of kwd2ctl serve over the driver's calls, with each client's selected address
// and error queue. Messages run unit by unit so that the server can interleave its clients.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/scpi_parser.h"

namespace scpi {

// The bus as the commands use it: the driver's calls, one exchange each, returning 0 or the
// driver's error code. A seam so the fuzz target can record requests without a line.
class Bus {
  public:
    virtual ~Bus() = default;
    virtual int Identification(int address, std::string& id) = 0;
    virtual int ReadRegister(int address, const char* name, double& value) = 0;
    virtual int WriteRegister(int address, const char* name, double value) = 0;
    virtual int ReadRange(int address, int parameterSet, int& range) = 0;
    virtual int WriteRange(int address, int parameterSet, int range) = 0;
    virtual int ReadStatus(int address, int selector, int& status) = 0;
    virtual int DeviceFunction(int address, const char* function) = 0;
    // The English catalogue text of a driver code, as UTF-8.
    virtual std::string Message(int code) = 0;
};

// The driver on the port held in `port`, which may change when the line is opened again.
std::unique_ptr<Bus> MakeDriverBus(const int& port);

struct ErrorEntry {
    int number;
    std::string text;
};

class ErrorQueue {
  public:
    static constexpr std::size_t kCapacity = 16;
    // When full, the newest entry becomes -350 and later errors are lost until one is read.
    void Push(int number, std::string text);
    ErrorEntry Pop();  // 0,"No error" when empty
    std::size_t Size() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

  private:
    std::deque<ErrorEntry> entries_;
};

struct ClientState {
    std::string name;  // the peer's address, for the log
    int address = 0;   // the selected bus address
    ErrorQueue errors;
};

struct BridgeSettings {
    std::string portName;  // as the user gave it, for *IDN?
    std::string version;
    bool readOnly = false;
    bool calibration = false;  // started with the calibration access code
};

// What all clients share: the bus, the settings and the output state commanded so far.
class Bridge {
  public:
    Bridge(Bus& bus, BridgeSettings settings) : bus_(bus), settings_(std::move(settings)) {}
    Bus& DeviceBus() { return bus_; }
    const BridgeSettings& Settings() const { return settings_; }
    // 1 after OUTP ON through this bridge, 0 after OUTP OFF or *RST, and 0 before either.
    int OutputState(int address) const { return outputs_.at(static_cast<std::size_t>(address)); }
    void SetOutputState(const ClientState& client, int address, bool on);
    // Told of every output switch (for the log).
    std::function<void(const ClientState&, int address, bool on)> onOutputSwitch;

  private:
    Bus& bus_;
    BridgeSettings settings_;
    std::array<int, 9> outputs_{};
};

// One program message, worked through a unit at a time.
class Message {
  public:
    explicit Message(std::string_view line);
    ~Message();
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    bool Done() const { return next_ >= units_.size() && !pending_; }
    // Runs the next unit, or the next exchange of a unit that takes several (INST:CAT?).
    void Step(Bridge& bridge, ClientState& client);
    // The answers joined by ';' and ended by LF; empty when the message asked nothing.
    std::string Response() const;

  private:
    std::vector<ParsedUnit> units_;
    std::size_t next_ = 0;
    std::vector<std::string> path_;
    std::vector<std::string> answers_;
    struct Pending;  // a unit between its exchanges
    std::unique_ptr<Pending> pending_;
};

// A whole message at once; returns its response.
std::string Execute(Bridge& bridge, ClientState& client, std::string_view line);

// SCPI's not-a-number, the answer of a query whose exchange failed.
inline constexpr const char* kNotANumber = "9.91E37";

}  // namespace scpi
