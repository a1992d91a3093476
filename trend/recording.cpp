#include "trend/recording.h"

#include <array>
#include <utility>

#include "platform/rs232.h"

namespace trend {
namespace {

constexpr const char* kProgram = "kwd2steuerung";

struct PortText {
    std::string name;
    std::string devicePath;
};

// "COM3" and the device it opens; the port ring's "not open" without one.
PortText DescribePort(int port) {
    if (port < 1 || port > 8) return {"not open", ""};
    const std::string device = "com" + std::to_string(port);
    std::array<char, 512> path{};
    const bool known = Rs232_DevicePath(device.c_str(), path.data(), static_cast<int>(path.size())) >= 0;
    return {"COM" + std::to_string(port), known ? path.data() : ""};
}

}  // namespace

Recording::Recording(std::string version) : version_(std::move(version)) {}

int Recording::Start(const std::string& path) {
    if (state_.active) Stop();
    state_ = RecordingState{};
    state_.path = path;
    notes_.clear();
    notedPort_ = portQuery_ != nullptr ? portQuery_() : 0;
    const PortText port = DescribePort(notedPort_);
    record::Session session{kProgram, version_, port.name, port.devicePath, std::chrono::system_clock::now(),
                            {}};
    session.devices.assign(identifications_.begin(), identifications_.end());

    if (const int rc = writer_.OpenFile(path, record::Format::kCsv); rc != 0) return Fail(rc);
    state_.active = true;
    if (const int rc = writer_.WriteHeader(session); rc != 0) return Fail(rc);
    started_ = std::chrono::steady_clock::now();
    Notify();
    return 0;
}

int Recording::Stop() {
    if (!state_.active) return 0;
    state_.active = false;
    const int rc = writer_.Close();
    if (rc != 0) {
        state_.error = rc;
        state_.reason = writer_.ErrorText();
    }
    Notify();
    return rc;
}

int Recording::Reading(int address, double volts, double milliamps, int status1) {
    record::Row row;
    row.address = address;
    row.volts = volts;
    row.milliamps = milliamps;
    row.status1 = status1;
    return WriteRow(row);
}

int Recording::Failure(int address, int code) {
    record::Row row;
    row.address = address;
    row.error = -code;  // the number the operator reads, as kwd2ctl writes it
    return WriteRow(row);
}

int Recording::Identification(int address, const std::string& text) {
    const auto known = identifications_.find(address);
    if (known != identifications_.end() && known->second == text) return 0;
    identifications_[address] = text;
    // Written with the next row: a failure then shows where tick failures show, not in the
    // middle of an operation whose own result would clear it from the error display at once.
    if (state_.active) notes_.push_back("device " + std::to_string(address) + ": " + text);
    return 0;
}

int Recording::WriteRow(record::Row row) {
    if (!state_.active) return 0;
    if (const int rc = WriteNotes(); rc != 0) return rc;
    row.time = std::chrono::system_clock::now();
    row.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    if (writer_.WriteRow(row) != 0) return Fail(record::kWriteFailed);
    state_.rows = writer_.RowCount();
    Notify();
    return 0;
}

int Recording::WriteNotes() {
    const int port = portQuery_ != nullptr ? portQuery_() : 0;
    if (port != notedPort_) {
        notedPort_ = port;
        const PortText text = DescribePort(port);
        notes_.insert(notes_.begin(), "port: " + text.name + " (" + text.devicePath + ")");
    }
    for (const std::string& note : notes_) {
        if (writer_.WriteComment(note) != 0) return Fail(record::kWriteFailed);
    }
    notes_.clear();
    return 0;
}

// The file is given up at the first failure: the rows already written stay as they are.
int Recording::Fail(int code) {
    state_.reason = writer_.ErrorText();
    state_.error = code;
    state_.active = false;
    notes_.clear();
    writer_.Close();
    Notify();
    return code;
}

void Recording::Notify() const {
    if (changed) changed();
}

}  // namespace trend
