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

enum class Check { ReadOnly, Volts, Milliamps, NonNegative, Positive, None };

struct RegisterInfo {
    const char* name;
    const char* code;
    int decimals;  // how the device formats the value in a reply
    Check check;
};

inline constexpr int kRegisterCount = 35;
extern const std::array<RegisterInfo, kRegisterCount> kRegisters;

// Index into kRegisters, or -1.
int registerByName(std::string_view name);
int registerByCode(std::string_view code);

// Formats like the device firmware: fixed point, rounded, shortened to fit `maxChars`.
std::string formatValue(double value, int decimals, std::size_t maxChars);
// Strict decimal number: optional '-', digits, optional '.' and digits.
std::optional<double> parseValue(std::string_view text);

class Device {
  public:
    Device(int address, std::string identification, bool kwd2, double loadOhms, double now);

    // `body` is the request between the address digit and CR. `replyAddress` is the digit the
    // device writes into replies (its own address).
    Answer handle(std::string_view body, double now);
    bool isKwd2() const { return kwd2_; }

    double registerValue(int index, double now);
    void setRegisterValue(int index, double value, double now);
    int range(int parameterSet) const;
    void setRange(int parameterSet, int range) { ranges_.at(parameterSet - 1) = range; }
    void overrideStatus(int selector, int value);
    int status(int selector, double now);
    bool running() const { return running_; }
    void selectParameterSet(int set, double now);

  private:
    struct Output {
        double volts;
        double milliamps;
    };
    Answer handleKwd2(std::string_view body, double now);
    Answer readRegister(int index, std::string_view echo, double now);
    bool writeRegister(int index, std::string_view valueText, double now);
    Answer directRead(char quantity, double now);
    bool directWrite(char letter, std::string_view valueText, double now);
    void start(double now);
    void stop(double now);
    void advance(double now);
    int phaseSet() const;  // parameter set whose values drive the output now
    double& reg(const char* name);
    Output output(double now);
    int activeRange(double now);
    Answer reply(std::string echo, std::string value, std::string tail = {}) const;

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
