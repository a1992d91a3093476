// Runs arbitrary bytes as program messages through the bridge over a bus that records what
// would go on the wire. Aborts when a request goes out that the messages cannot have asked
// for: a write in read-only mode, a calibration register without the access code, a value the
// driver's own check refuses, an address outside 0 to 8, more writes than units, a start
// without an OUTP header.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/scpi_commands.h"
#include "driver/kalibrierdatensatz.h"
#include "driver/zelkwd2_registers.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

class RecordingBus : public scpi::Bus {
  public:
    int writes = 0;
    int starts = 0;
    int stops = 0;
    bool calibration = false;
    unsigned failEvery = 0;  // every n-th exchange fails as a silent device does
    unsigned exchanges = 0;

    int Identification(int address, std::string& id) override {
        checkAddress(address);
        if (fails()) return -403012;
        id = address == 2 ? "OTHER" : "ZEL-KWD2-V1.5";
        return 0;
    }
    int ReadRegister(int address, const char* name, double& value) override {
        checkAddress(address);
        if (zelkwd2::FindRegister(name) == nullptr) return -401071;
        if (fails()) return -403078;
        value = 1.5;
        return 0;
    }
    int WriteRegister(int address, const char* name, double value) override {
        checkAddress(address);
        const zelkwd2::RegisterInfo* row = zelkwd2::FindRegister(name);
        if (row == nullptr || row->check == zelkwd2::WriteCheck::kReadOnly) return -401090;
        if (zelkwd2::ViolatesWriteCheck(*row, value)) return row->limitCode;
        const bool isCalibration =
            std::find_if(kalibrierung::kRegister.begin(), kalibrierung::kRegister.end(), [&](const char* r) {
                return std::string_view(r) == name;
            }) != kalibrierung::kRegister.end();
        require(!isCalibration || calibration);
        ++writes;
        return fails() ? -403097 : 0;
    }
    int ReadRange(int address, int parameterSet, int& range) override {
        checkAddress(address);
        require(parameterSet >= 1 && parameterSet <= 3);
        if (fails()) return -403078;
        range = 0;
        return 0;
    }
    int WriteRange(int address, int parameterSet, int range) override {
        checkAddress(address);
        require(parameterSet >= 1 && parameterSet <= 3);
        if (range < 0 || range > 4) return -500083;
        ++writes;
        return fails() ? -403097 : 0;
    }
    int ReadStatus(int address, int selector, int& status) override {
        checkAddress(address);
        require(selector == 1);
        if (fails()) return -403106;
        status = 5;
        return 0;
    }
    int DeviceFunction(int address, const char* function) override {
        checkAddress(address);
        const std::string_view f(function);
        require(f == "start" || f == "stopp");
        ++(f == "start" ? starts : stops);
        ++writes;
        return fails() ? -403040 : 0;
    }
    std::string Message(int code) override { return "device error " + std::to_string(code); }

  private:
    static void checkAddress(int address) { require(address >= 0 && address <= 8); }
    bool fails() { return failEvery != 0 && ++exchanges % failEvery == 0; }
};

std::string upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    RecordingBus bus;
    bus.calibration = (flags & 2) != 0;
    bus.failEvery = flags >> 4;
    scpi::Bridge bridge(bus, {"COM1", "0", (flags & 1) != 0, bus.calibration});
    scpi::ClientState client;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t lf = std::min(input.find('\n', start), input.size());
        const std::string_view line = input.substr(start, lf - start);
        const int writesBefore = bus.writes;
        const int startsBefore = bus.starts;
        const int stopsBefore = bus.stops;
        scpi::Message message(line);
        std::size_t units = 0;
        while (!message.Done()) {
            message.Step(bridge, client);
            ++units;
        }
        const std::string response = message.Response();
        require(response.empty() || (response.back() == '\n' && response.find('\n') == response.size() - 1));
        require(bus.writes - writesBefore <= static_cast<int>(units));
        if (bridge.Settings().readOnly) require(bus.writes == writesBefore);
        const std::string text = upper(line);
        if (bus.starts != startsBefore) require(text.find("OUTP") != std::string::npos);
        if (bus.stops != stopsBefore) {
            require(text.find("OUTP") != std::string::npos || text.find("*RST") != std::string::npos);
        }
        require(client.errors.Size() <= scpi::ErrorQueue::kCapacity);
        require(client.address >= 0 && client.address <= 8);
        start = lf + 1;
    }
    return 0;
}
