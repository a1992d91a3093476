// One device on the simulated bus: its registers, ranges, status and output model, and how it
// answers one request. No I/O here; the line (framing, pacing, faults) lives in simulator.cpp.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kwd2sim::detail {

inline constexpr unsigned char kAck = 6;
inline constexpr unsigned char kNak = 21;
inline constexpr unsigned char kCan = 24;
inline constexpr unsigned char kCr = 13;

// What a device sends back for one request, kept in parts so that faults can corrupt each part.
struct Answer {
    unsigned char ack = kAck;
    bool hasReply = false;  // read commands: '#', address, echo, value, tail, CR follow the ACK
    std::string head;       // '#', address digit and the echoed command characters
    std::string value;
    std::string tail;  // unit letters after the value
};

enum class Check { kReadOnly, kVolts, kMilliamps, kNonNegative, kPositive, kNone };

struct RegisterInfo {
    const char* name;
    const char* code;
    int decimals;  // how the device formats the value in a reply
    Check check;
};

inline constexpr int kRegisterCount = 35;
extern const std::array<RegisterInfo, kRegisterCount> kRegisters;

// Index into kRegisters, or -1.
int RegisterByName(std::string_view name);
int RegisterByCode(std::string_view code);

// Formats like the device firmware: fixed point, rounded, shortened to fit `maxChars`.
std::string FormatValue(double value, int decimals, std::size_t maxChars);
// Strict decimal number: optional '-', digits, optional '.' and digits.
std::optional<double> ParseValue(std::string_view text);

class Device {
  public:
    Device(int address, std::string identification, bool kwd2, double loadOhms, double now);

    // `body` is the request between the address digit and CR. `replyAddress` is the digit the
    // device writes into replies (its own address).
    Answer Handle(std::string_view body, double now);
    bool IsKwd2() const { return kwd2_; }

    double RegisterValue(int index, double now);
    void SetRegisterValue(int index, double value, double now);
    int Range(int parameterSet) const;
    void SetRange(int parameterSet, int range) { ranges_.at(parameterSet - 1) = range; }
    void OverrideStatus(int selector, int value);
    int Status(int selector, double now);
    bool Running() const { return running_; }
    void SelectParameterSet(int set, double now);

  private:
    struct Output {
        double volts;
        double milliamps;
    };
    Answer HandleKwd2(std::string_view body, double now);
    Answer ReadRegister(int index, std::string_view echo, double now);
    bool WriteRegister(int index, std::string_view valueText, double now);
    Answer DirectRead(char quantity, double now);
    bool DirectWrite(char letter, std::string_view valueText, double now);
    void Start(double now);
    void Stop(double now);
    void Advance(double now);
    int PhaseSet() const;  // parameter set whose values drive the output now
    double& Reg(const char* name);
    Output OutputAt(double now);
    int ActiveRange(double now);
    Answer Reply(std::string echo, std::string value, std::string tail = {}) const;

    int address_;
    std::string identification_;
    bool kwd2_;
    double loadOhms_;
    std::array<double, kRegisterCount> registers_{};
    std::array<int, 3> ranges_{};
    std::array<std::optional<int>, 2> statusOverride_{};
    bool running_ = false;
    bool pulse_ = false;
    double pulseEnd_ = 0.0;
    int selectedSet_ = 1;
    double voltsLag_ = 0.0;  // set values after the Tau lag
    double milliampsLag_ = 0.0;
    double lastUpdate_;
};

}  // namespace kwd2sim::detail
