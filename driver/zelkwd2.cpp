#include "driver/zelkwd2.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "driver/zelkwd2_registers.h"
#include "platform/formatio.h"
#include "platform/rs232.h"
#include "platform/wiretime.h"

namespace {

using zelkwd2::FindRegister;
using zelkwd2::RegisterInfo;
using zelkwd2::WriteCheck;

constexpr int kStart = '#';
constexpr int kCr = 13;
constexpr int kAck = 6;
constexpr int kNak = 21;
constexpr int kCan = 24;
constexpr int kCommonAddress = 9;
constexpr int kLastDevice = 8;
constexpr int kRequestBufferSize = 20;  // a request holds at most 19 characters
constexpr int kLastPort = 8;
constexpr int kLongestReply = 32;
constexpr double kSerialDefaultTimeout = 1.0;  // what the serial layer waits before any ZELKWD2_Timeout

using Clock = std::chrono::steady_clock;

// Codes that more than one command returns.
constexpr int kReadAddressCode = zelkwd2::ErrorCode(zelkwd2::kInvalidAddress, 70);  // register, range
constexpr int kWriteAddressCode = zelkwd2::ErrorCode(zelkwd2::kInvalidAddress, 82);
constexpr int kNotSendableCode = zelkwd2::ErrorCode(zelkwd2::kFormatFailed, 91);  // no request text

// What the driver keeps per port between exchanges.
struct Line {
    double timeoutSeconds = kSerialDefaultTimeout;
    // An exchange that gave up after its request may have gone out leaves the device free to
    // answer late. Until this moment such an answer can still come, and the next exchange must
    // not empty the input queue before it, or it would take that answer for its own.
    Clock::time_point lateAnswerUntil{};
    bool lateAnswerHasReply = false;  // a read's reply follows the acknowledgement
};
std::array<Line, kLastPort + 1> gLines;

Line* LineOf(int port) {
    return port >= 1 && port <= kLastPort ? &gLines[static_cast<std::size_t>(port)] : nullptr;
}

// Codes of one command's exchange steps. A short acknowledgement check is the full one with the
// same code for CAN, silence and any other byte.
struct Steps {
    int writeFailed;
    int writeShort;
    bool drain;
    int nak;
    int can;
    int silent;
    int wrongAck;
    int replyLimit;  // 0 for set commands, which read no reply
    int replyByte;
};

constexpr Steps ShortSteps(int writeFailed, int writeShort, int nak, int noAck, int replyLimit,
                           int replyByte) {
    return {writeFailed, writeShort, false, nak, noAck, noAck, noAck, replyLimit, replyByte};
}

constexpr Steps kIdSteps{-101008, -114009, true, -402010, -405011, -403012, -404013, 29, -404014};
constexpr Steps kUWriteSteps = ShortSteps(-101021, -114022, -402023, -116024, 0, 0);
constexpr Steps kIWriteSteps = ShortSteps(-101030, -114031, -402032, -116033, 0, 0);
constexpr Steps kFunctionSteps{-101121, -101122, true, -402123, -405124, -403125, -404126, 0, 0};
constexpr Steps kUReadSteps = ShortSteps(-101055, -114056, -402057, -116058, 15, -116059);
constexpr Steps kIReadSteps = ShortSteps(-101064, -114065, -402066, -116067, 15, -116068);
// Register and range commands share one block of codes.
constexpr Steps kRegisterReadSteps{-101074, -114075, true, -402076, -405077, -403078, -404079, 19, -404080};
constexpr Steps kRegisterWriteSteps{-101093, -101094, true, -402095, -405096, -403097, -404098, 0, 0};
constexpr Steps kStatusSteps{-101102, -114103, true, -402104, -405105, -403106, -404107, 14, -404108};

struct Request {
    std::array<char, kRequestBufferSize> text{};
    int length = 0;
};

struct Reply {
    std::array<char, 32> text{};
    int length = 0;
};

bool ValidDeviceAddress(int address) {
    return address >= 0 && address <= kLastDevice;
}
bool ValidSetAddress(int address) {
    return address >= 0 && address <= kCommonAddress;
}

// Formats into a scratch buffer large enough for any finite value, so that a text that does not
// fit the request is refused instead of being cut.
template <typename... Args>
bool BuildRequest(Request& request, const char* format, Args... args) {
    std::array<char, 512> scratch{};
    const int length = Fmt(scratch.data(), format, args...);
    if (length < 0 || length >= kRequestBufferSize) return false;
    std::memcpy(request.text.data(), scratch.data(), static_cast<std::size_t>(length) + 1);
    request.length = length;
    return true;
}

// Emptying the queues discards late bytes of any earlier exchange.
int FlushQueues(int port, int failCode) {
    return FlushInOut(port) == 0 ? 0 : failCode;
}

std::chrono::microseconds WireTime(int bytes) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Rs232WireTime(bytes));
}

// The request may be on its way but its answer will not be read: the device gets one time-out to
// start answering, and the longest answer its wire time.
void AbandonRequest(int port, bool hasReply) {
    if (Line* line = LineOf(port)) {
        const auto window = std::chrono::duration<double>(line->timeoutSeconds) + WireTime(kLongestReply);
        line->lateAnswerUntil = Clock::now() + std::chrono::duration_cast<Clock::duration>(window);
        line->lateAnswerHasReply = hasReply;
    }
}

// Only after an abandoned request: takes its answer as it comes and ends once it is complete,
// or when its window closes (a device that does not answer it costs the rest of the window).
void AwaitLateAnswer(int port) {
    Line* line = LineOf(port);
    if (line == nullptr || line->lateAnswerUntil == Clock::time_point{}) return;
    const auto until = line->lateAnswerUntil;
    line->lateAnswerUntil = {};
    for (int count = 1; count <= kLongestReply; ++count) {
        const std::chrono::duration<double> left = until - Clock::now();
        if (left.count() <= 0.0 || SetComTime(port, left.count()) != 0) break;
        const int byte = ComRdByte(port);
        // An acknowledgement alone answers a set command, a refusal any command; a reply ends at CR.
        if (byte < 0 || byte == kCr || (count == 1 && (!line->lateAnswerHasReply || byte != kAck))) break;
    }
    SetComTime(port, line->timeoutSeconds);
}

// Waits until the request has left the output queue. The wait always ends: a queue length that
// cannot be read, or one still not 0 after the request's wire time and a margin, is a failure.
int DrainOutput(int port, int requestLength, int failCode) {
    constexpr auto kMargin = std::chrono::milliseconds(250);
    const auto deadline = Clock::now() + WireTime(requestLength) + kMargin;
    for (;;) {
        const int pending = GetOutQLen(port);
        if (pending == 0) return 0;
        if (pending < 0) return failCode;
        const auto now = Clock::now();
        if (now >= deadline) return failCode;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        std::this_thread::sleep_for(std::min(WireTime(pending), left));
    }
}

// One received byte as a signed byte: a failed read and a byte of 128 or more are negative.
int ReadSignedByte(int port) {
    const int raw = ComRdByte(port);
    if (raw < 0) return -1;
    return static_cast<signed char>(static_cast<unsigned char>(raw & 0xFF));
}

int CheckAcknowledgement(int port, const Steps& steps) {
    const int first = ReadSignedByte(port);
    if (first == kAck) return 0;
    if (first == kNak) return steps.nak;
    if (first == kCan) return steps.can;
    if (first < 0) return steps.silent;
    return steps.wrongAck;
}

// Reads up to CR or the reply limit, at least one byte.
int ReadReply(int port, const Steps& steps, Reply& reply) {
    do {
        const int byte = ReadSignedByte(port);
        if (byte < 0) return steps.replyByte;
        reply.text[static_cast<std::size_t>(reply.length++)] = static_cast<char>(byte);
    } while (reply.text[static_cast<std::size_t>(reply.length - 1)] != kCr &&
             reply.length < steps.replyLimit);
    reply.text[static_cast<std::size_t>(reply.length)] = '\0';
    return 0;
}

// Write, drain wait, common address, acknowledgement and, for read commands, the reply.
// writeLength is the fixed request length of a read command or the text length of a set command.
int Transact(int port, int address, const Request& request, int writeLength, const Steps& steps,
             Reply* reply) {
    const int written = ComWrt(port, request.text.data(), writeLength);
    if (written < 0) return steps.writeFailed;
    if (written != writeLength) return steps.writeShort;
    // The common address gets no answer that would show the request has gone, so its request is
    // always drained: the next command's flush would otherwise discard it unsent.
    const bool common = reply == nullptr && address == kCommonAddress;
    if (steps.drain || common) {
        if (const int rc = DrainOutput(port, writeLength, steps.writeFailed); rc != 0) {
            AbandonRequest(port, reply != nullptr);
            return rc;
        }
    }
    if (common) return 0;  // nobody answers the common address
    if (const int rc = CheckAcknowledgement(port, steps); rc != 0) return rc;
    if (reply == nullptr) return 0;
    return ReadReply(port, steps, *reply);
}

int ParameterSetDigit(int parameterSet) {
    if (parameterSet == 2) return '2';
    if (parameterSet == 3) return '3';
    return '1';
}

// Direct set value: value check first, then address and selector.
int DirectWrite(int port, int address, int selector, double value, double maximum, char letter1, char letter2,
                const std::array<int, 5>& codes, const Steps& steps) {
    const auto [valueCode, addressCode, selectorCode, buildCode, flushCode] = codes;
    if (!(value >= 0.0 && value <= maximum)) return valueCode;
    if (!ValidSetAddress(address)) return addressCode;
    if (selector != 1 && selector != 2) return selectorCode;
    Request request;
    const int letter = selector == 1 ? letter1 : letter2;
    if (!BuildRequest(request, "%s<%c%i%c%c%f[p1]%c", kStart, address, letter, 'S', value, kCr))
        return buildCode;
    if (const int rc = FlushQueues(port, flushCode); rc != 0) return rc;
    return Transact(port, address, request, request.length, steps, nullptr);
}

// Direct readback: "#a<value><unit>CR".
int DirectRead(int port, int address, double* result, bool current, const std::array<int, 4>& codes,
               const Steps& steps) {
    const auto [addressCode, flushCode, buildCode, verifyCode] = codes;
    if (!ValidDeviceAddress(address)) return addressCode;
    if (const int rc = FlushQueues(port, flushCode); rc != 0) return rc;
    Request request;
    if (!BuildRequest(request, "%s<%c%i%c%c%c", kStart, address, current ? 'A' : 'V', 'L', kCr))
        return buildCode;
    Reply reply;
    if (const int rc = Transact(port, address, request, 5, steps, &reply); rc != 0) return rc;
    int start = 0;
    int replyAddress = -1;
    double value = 0.0;
    std::array<int, 3> tail{};
    bool ok = false;
    if (current) {
        ok = Scan(reply.text.data(), "%s>%c%i[w1]%f%c%c%c", &start, &replyAddress, &value, &tail[0], &tail[1],
                  &tail[2]) == 6 &&
             tail[0] == 'M' && tail[1] == 'A' && tail[2] == kCr;
    } else {
        ok = Scan(reply.text.data(), "%s>%c%i[w1]%f%c%c", &start, &replyAddress, &value, &tail[0],
                  &tail[1]) == 5 &&
             tail[0] == 'V' && tail[1] == kCr;
    }
    if (!ok || start != kStart || replyAddress != address) return verifyCode;
    if (result != nullptr) *result = value;
    return 0;
}

// Register and range reads: "#a" + three echoed characters + number + CR. Returns the verified
// reply's number text through Scan with the given numeric code ("%f" or "%d").
template <typename T>
int EchoedRead(int port, int address, int c1, int c2, const char* replyFormat, T* result) {
    Request request;
    if (!BuildRequest(request, "%s<%c%i%c%c%c%c", kStart, address, c1, c2, 'R', kCr)) return -202072;
    if (const int rc = FlushQueues(port, -112073); rc != 0) return rc;
    Reply reply;
    if (const int rc = Transact(port, address, request, 6, kRegisterReadSteps, &reply); rc != 0) return rc;
    int start = 0;
    int replyAddress = -1;
    std::array<int, 3> echo{};
    int terminator = 0;
    T value{};
    const int fields = Scan(reply.text.data(), replyFormat, &start, &replyAddress, &echo[0], &echo[1],
                            &echo[2], &value, &terminator);
    if (fields != 7 || start != kStart || replyAddress != address || echo[0] != c1 || echo[1] != c2 ||
        echo[2] != 'R' || terminator != kCr) {
        return -404081;
    }
    if (result != nullptr) *result = value;
    return 0;
}

// Register and range writes end alike once the request is built.
int EchoedWrite(int port, int address, const Request& request) {
    if (const int rc = FlushQueues(port, -112092); rc != 0) return rc;
    return Transact(port, address, request, request.length, kRegisterWriteSteps, nullptr);
}

}  // namespace

int ZELKWD2_Open(int port) {
    if (port < 1 || port > 8) return -100001;
    const std::string deviceName = "com" + std::to_string(port);
    if (OpenComConfig(port, deviceName.c_str(), kKwd2Baud, 1, 7, 1, 512, 512) != 0) return -100002;
    *LineOf(port) = Line{};  // a fresh line: nothing of the old one can still answer
    return 0;
}

int ZELKWD2_Close(int port) {
    return CloseCom(port) == 0 ? 0 : -103003;
}

int ZELKWD2_Timeout(int port, double timeoutSeconds) {
    if (SetComTime(port, timeoutSeconds) != 0) return -111004;
    if (Line* line = LineOf(port)) line->timeoutSeconds = timeoutSeconds;
    return 0;
}

int FlushInOut(int port) {
    AwaitLateAnswer(port);
    if (FlushInQ(port) != 0) return -124112;
    if (FlushOutQ(port) != 0) return -123113;
    return 0;
}

int ZELKWD2_IDLesen(int port, int address, char* idText) {
    if (!ValidDeviceAddress(address)) return -400005;
    Request request;
    if (!BuildRequest(request, "%s<%c%i%c%c%c%c", kStart, address, 'I', 'D', 'R', kCr)) return -202006;
    if (const int rc = FlushQueues(port, -112007); rc != 0) return rc;
    Reply reply;
    if (const int rc = Transact(port, address, request, 6, kIdSteps, &reply); rc != 0) return rc;
    int start = 0;
    int replyAddress = -1;
    int terminator = 0;
    std::array<char, sizeof(Reply::text)> id{};  // the text never outgrows the reply it came from
    const int fields =
        Scan(reply.text.data(), "%s>%c%i[w1]%s%c", &start, &replyAddress, id.data(), &terminator);
    if (fields != 4 || start != kStart || replyAddress != address || terminator != kCr) return -404015;
    if (idText != nullptr) std::strcpy(idText, id.data());
    return 0;
}

int ZELKWD2_UWrite(int port, int address, int selector, double value) {
    return DirectWrite(port, address, selector, value, zelkwd2::kVoltMax, 'V', 'W',
                       {-401016, -400017, -401018, -202019, -112020}, kUWriteSteps);
}

int ZELKWD2_IWrite(int port, int address, int selector, double value) {
    return DirectWrite(port, address, selector, value, zelkwd2::kMilliampMax, 'A', 'B',
                       {-401025, -400026, -401027, -202028, -112029}, kIWriteSteps);
}

int ZELKWD2_DeviceFunction(int port, int address, const char* functionName) {
    if (!ValidSetAddress(address)) return -400117;
    const std::string_view name = functionName != nullptr ? functionName : "";
    int digit = 0;
    if (name == "start") {
        digit = '1';
    } else if (name == "stopp") {
        digit = '2';
    } else {
        return -401118;
    }
    Request request;
    if (!BuildRequest(request, "%s<%c%i%c%c%c%c", kStart, address, 'D', 'F', digit, kCr)) return -202119;
    if (const int rc = FlushQueues(port, -112120); rc != 0) return rc;
    return Transact(port, address, request, request.length, kFunctionSteps, nullptr);
}

int ZELKWD2_URead(int port, int address, double* volts) {
    return DirectRead(port, address, volts, false, {-400052, -112053, -202054, -116060}, kUReadSteps);
}

int ZELKWD2_IRead(int port, int address, double* milliamps) {
    return DirectRead(port, address, milliamps, true, {-400061, -112062, -202063, -116069}, kIReadSteps);
}

int ZELKWD2_ParameterLesen(int port, int address, const char* registerName, double* value) {
    if (!ValidDeviceAddress(address)) return kReadAddressCode;
    const RegisterInfo* row = registerName != nullptr ? FindRegister(registerName) : nullptr;
    if (row == nullptr) return -401071;
    return EchoedRead(port, address, row->code1, row->code2, "%s>%c%i[w1]%c%c%c%f%c", value);
}

int ZELKWD2_ParameterSchreiben(int port, int address, const char* registerName, double value) {
    if (!ValidSetAddress(address)) return kWriteAddressCode;
    const RegisterInfo* row = registerName != nullptr ? FindRegister(registerName) : nullptr;
    if (row == nullptr || row->check == WriteCheck::kReadOnly) return -401090;
    if (zelkwd2::ViolatesWriteCheck(*row, value)) return row->limitCode;
    // A value without a decimal text (NaN, infinity) or too long for the request is never sent.
    if (!std::isfinite(value)) return kNotSendableCode;
    const char* format = row->decimals == 1   ? "%s<%c%i%c%c%c%f[p1]%c"
                         : row->decimals == 3 ? "%s<%c%i%c%c%c%f[p3]%c"
                                              : "%s<%c%i%c%c%c%f[p6]%c";
    Request request;
    if (!BuildRequest(request, format, kStart, address, int{row->code1}, int{row->code2}, 'W', value, kCr)) {
        return kNotSendableCode;
    }
    return EchoedWrite(port, address, request);
}

int ZELKWD2_MessbereichLesen(int port, int address, int parameterSet, int* measuringRange) {
    if (!ValidDeviceAddress(address)) return kReadAddressCode;
    return EchoedRead(port, address, 'M', ParameterSetDigit(parameterSet), "%s>%c%i[w1]%c%c%c%d%c",
                      measuringRange);
}

int ZELKWD2_MessbereichSchreiben(int port, int address, int parameterSet, int measuringRange) {
    if (!ValidSetAddress(address)) return kWriteAddressCode;
    if (measuringRange < 0 || measuringRange > 4) return zelkwd2::kLimitCode;
    Request request;
    if (!BuildRequest(request, "%s<%c%i%c%c%c%d%c", kStart, address, 'M', ParameterSetDigit(parameterSet),
                      'W', measuringRange, kCr)) {
        return kNotSendableCode;
    }
    return EchoedWrite(port, address, request);
}

int ZELKWD2_StatusLesen(int port, int address, int selector, int* statusByte) {
    if (!ValidDeviceAddress(address)) return -400099;
    if (selector != 1 && selector != 2) return -401100;
    const int selectorDigit = selector == 1 ? '1' : '2';
    Request request;
    if (!BuildRequest(request, "%s<%c%i%c%c%c%c", kStart, address, 'S', selectorDigit, 'R', kCr))
        return -202101;
    // This command alone passes the code of FlushInOut on unchanged.
    if (const int rc = FlushInOut(port); rc != 0) return rc;
    Reply reply;
    if (const int rc = Transact(port, address, request, 6, kStatusSteps, &reply); rc != 0) return rc;
    std::array<int, 6> c{};  // start, 'S', digit, 'R', '$', CR
    int replyAddress = -1;
    int value = 0;
    const int fields = Scan(reply.text.data(), "%s>%c%i[w1]%c%c%c%c%x[w2]%c", &c[0], &replyAddress, &c[1],
                            &c[2], &c[3], &c[4], &value, &c[5]);
    if (fields != 8 || c[0] != kStart || replyAddress != address || c[5] != kCr || c[3] != 'R' ||
        c[4] != '$' || c[1] != 'S') {
        return -404109;
    }
    if (c[2] != selectorDigit) return selector == 1 ? -404110 : -404111;
    if (statusByte != nullptr) *statusByte = value;
    return 0;
}
