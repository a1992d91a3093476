// Arbitrary bytes as the device's answer to every driver function, over an in-memory line.
// Aborts when a call returns anything but 0 or a driver code, writes an out-argument on failure,
// takes more of the answer than one reply can hold, or succeeds on an answer without its CR.
//
// Input: function, address/selector, line faults, value/register choice, then the answer.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "driver/fuzz/memory_line.h"
#include "driver/zelkwd2.h"

namespace {

constexpr int kPort = 1;
constexpr unsigned char kAck = 6;
constexpr std::size_t kLongestReply = 29;  // the identification
constexpr std::size_t kLongestRequest = 19;
constexpr double kUntouched = -1234.5;
constexpr int kUntouchedInt = -4711;

constexpr std::array<const char*, 6> kRegisterNames = {"usoll1",    "tauu1",    "uist",
                                                       "iist4_off", "isoll1_v", "nix"};
constexpr std::array<double, 6> kValues = {0.0, 1.5, 250.0, 6000.0, -1.0, 1e300};

struct Choice {
    int function;
    int address;
    int selector;
    const char* name;
    double value;
    int range;  // 5 is out of range
};

struct Outcome {
    int rc;
    bool readsReply;  // a successful call has taken a reply ending in CR
    bool untouched;   // the out-argument still holds what the caller put there
};

Outcome Call(const Choice& c) {
    double d = kUntouched;
    int i = kUntouchedInt;
    switch (c.function) {
        case 0: {
            auto id = std::make_unique<char[]>(28);  // the documented minimum, so ASan sees overruns
            std::memset(id.get(), 'x', 28);
            const int rc = ZELKWD2_IDLesen(kPort, c.address, id.get());
            bool untouched = true;
            for (int k = 0; k < 28; ++k) untouched = untouched && id[k] == 'x';
            if (rc == 0 && std::memchr(id.get(), '\0', 28) == nullptr) std::abort();
            return {rc, true, untouched};
        }
        case 1:
            return {ZELKWD2_UWrite(kPort, c.address, c.selector, c.value), false, true};
        case 2:
            return {ZELKWD2_IWrite(kPort, c.address, c.selector, c.value), false, true};
        case 3:
            return {ZELKWD2_DeviceFunction(kPort, c.address, c.selector == 1 ? "start" : "stopp"), false,
                    true};
        case 4: {
            const int rc = ZELKWD2_URead(kPort, c.address, &d);
            return {rc, true, d == kUntouched};
        }
        case 5: {
            const int rc = ZELKWD2_IRead(kPort, c.address, &d);
            return {rc, true, d == kUntouched};
        }
        case 6: {
            const int rc = ZELKWD2_ParameterLesen(kPort, c.address, c.name, &d);
            return {rc, true, d == kUntouched};
        }
        case 7:
            return {ZELKWD2_ParameterSchreiben(kPort, c.address, c.name, c.value), false, true};
        case 8: {
            const int rc = ZELKWD2_MessbereichLesen(kPort, c.address, c.selector + 1, &i);
            return {rc, true, i == kUntouchedInt};
        }
        case 9:
            return {ZELKWD2_MessbereichSchreiben(kPort, c.address, c.selector + 1, c.range), false, true};
        case 10: {
            const int rc = ZELKWD2_StatusLesen(kPort, c.address, c.selector, &i);
            return {rc, true, i == kUntouchedInt};
        }
        default: {
            const int rc = FlushInOut(kPort);
            return {rc, false, true};
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const Choice choice{data[0] % 12,
                        data[1] % 10,
                        1 + ((data[1] >> 4) & 1),
                        kRegisterNames[(data[3] >> 4) % kRegisterNames.size()],
                        kValues[(data[3] & 15) % kValues.size()],
                        (data[3] & 15) % 6};
    // Line faults only when the top bits say so, so that most inputs reach the answer.
    memoryline::Faults faults;
    if ((data[2] & 0xE0) == 0xE0) {
        faults = {(data[2] & 1) != 0, (data[2] & 2) != 0, (data[2] & 4) != 0, (data[2] & 8) != 0,
                  (data[2] & 16) != 0};
    }
    const unsigned char* answer = data + 4;
    const std::size_t answerSize = size - 4;
    // An earlier input's abandoned request leaves a late-answer window open in the driver; an empty
    // line closes it, so that each input starts from a quiet line as a single run would.
    memoryline::Reset(nullptr, 0, {});
    FlushInOut(kPort);
    memoryline::Reset(answer, answerSize, faults);

    const Outcome out = Call(choice);
    const std::size_t taken = memoryline::BytesRead();
    const std::string& request = memoryline::Written();

    // 0 or a code of the form -(number * 1000 + site).
    if (out.rc != 0 && (out.rc > -100000 || out.rc < -999999)) std::abort();
    if (out.rc != 0 && !out.untouched) std::abort();
    if (taken > 1 + kLongestReply) std::abort();
    if (request.size() > kLongestRequest) std::abort();
    if (out.rc == 0 && choice.function != 11) {
        if (request.empty() || request.back() != '\r' || request.front() != '#') std::abort();
        const bool common = request.size() > 1 && request[1] == '9';
        if (out.readsReply) {
            // Success means an ACK and a reply up to its first CR, and nothing after it.
            if (taken < 2 || answer[0] != kAck || answer[taken - 1] != '\r') std::abort();
            if (std::memchr(answer + 1, '\r', taken - 2) != nullptr) std::abort();
        } else if (taken != (common ? 0u : 1u) || (!common && answer[0] != kAck)) {
            std::abort();
        }
    }
    return 0;
}
