// Arbitrary requests to one simulated device, as its request parser gets them from the line:
// bodies between the address digit and CR, seven bits, at most the line's frame length.
// Aborts when an answer is neither ACK nor NAK, a refusal carries a reply, a reply does not fit
// what the host reads for that command or holds a CR, or a register stops being a finite number.
//
// Input: first byte picks a KWD2 or a foreign device; the rest are bodies separated by CR.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/device.h"

namespace {

using namespace kwd2sim::detail;

constexpr int kAddress = 3;
constexpr std::size_t kLongestBody = 62;  // the line keeps 64 characters: '#', address, body

// The host's reply limit for the command, CR included.
std::size_t ReplyLimit(std::string_view body) {
    if (body == "IDR") return 29;
    if (body == "VL" || body == "AL") return 15;
    if (body.size() == 3 && body[0] == 'S') return 14;
    return 19;
}

void CheckAnswer(Device& device, std::string_view body, double now) {
    const Answer a = device.Handle(body, now);
    if (a.ack != kAck && a.ack != kNak) std::abort();
    if (!a.hasReply) {
        if (!a.head.empty() || !a.value.empty() || !a.tail.empty()) std::abort();
    } else {
        if (a.ack != kAck) std::abort();
        const std::string reply = a.head + a.value + a.tail;
        if (reply.size() < 2 || reply[0] != '#' || reply[1] != '0' + kAddress) std::abort();
        if (reply.find('\r') != std::string::npos) std::abort();
        if (reply.size() + 1 > ReplyLimit(body)) std::abort();
    }
    for (int i = 0; i < kRegisterCount; ++i) {
        if (!std::isfinite(device.RegisterValue(i, now))) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool kwd2 = (data[0] & 1) == 0;
    Device device(kAddress, kwd2 ? "ZEL-KWD2-V1.5" : "OTHER-DEVICE-2", kwd2, 100.0, 0.0);
    double now = 0.0;
    std::string body;
    for (size_t i = 1; i <= size; ++i) {
        const char c = i < size ? static_cast<char>(data[i] & 0x7f) : '\r';
        if (c != '\r') {
            if (body.size() < kLongestBody) body.push_back(c);
            continue;
        }
        now += 0.05 * (1 + (body.size() % 7));  // time moves on between requests
        CheckAnswer(device, body, now);
        body.clear();
    }
    return 0;
}
