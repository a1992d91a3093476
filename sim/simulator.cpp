#include "sim/kwd2sim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <sys/stat.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "platform/wiretime.h"
#include "sim/device.h"

namespace kwd2sim {

using detail::Answer;
using detail::Device;

namespace {

constexpr double kByteSeconds = std::chrono::duration<double>(Rs232WireTime(1)).count();
constexpr std::size_t kMaxFrame = 64;         // a request never comes near this
constexpr std::size_t kTraceCap = 1u << 20;   // keeps a long run's memory bounded
constexpr std::size_t kOverlongPadding = 24;  // pushes every reply past the host's limit

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

double MonotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

timespec ToTimespec(double seconds) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    if (ts.tv_nsec >= 1000000000L) {
        ++ts.tv_sec;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

std::string ByteName(unsigned char b) {
    switch (b) {
        case detail::kAck:
            return "ACK";
        case detail::kNak:
            return "NAK";
        case detail::kCan:
            return "CAN";
        case detail::kCr:
            return "CR";
        default:
            break;
    }
    if (b >= 32 && b < 127) return std::string("'") + static_cast<char>(b) + "'";
    return "-";
}

// Changes the echoed command characters so that the host can tell they are not its own.
void CorruptEcho(Answer& a) {
    if (a.head.size() > 3) {
        char& c = a.head[3];
        c = c == '1' ? '2' : (c >= '0' && c <= '9' ? '1' : 'X');
    } else if (!a.tail.empty()) {
        a.tail[0] = 'X';
    } else {
        a.value = 'X' + a.value;  // the identification has no echo: spoil its start instead
    }
}

void PadOverlong(Answer& a) {
    // Digits keep a number a number; the host must still refuse it by its length.
    const bool numeric = detail::ParseValue(a.value).has_value();
    a.value.append(kOverlongPadding, numeric ? '0' : 'X');
}

// The bytes one request gets, after any fault of its address has done its work.
struct Plan {
    std::string bytes;
    std::size_t hangUpAt = std::string::npos;  // close the line before sending this byte
    bool slow = false;
};

Plan MakePlan(Answer a, Fault fault, int address) {
    Plan plan;
    switch (fault) {
        case Fault::kSilent:
            return plan;
        case Fault::kNak:
            plan.bytes.push_back(static_cast<char>(detail::kNak));
            return plan;
        case Fault::kCan:
            plan.bytes.push_back(static_cast<char>(detail::kCan));
            return plan;
        case Fault::kGarbageFirstByte:
            a.ack = '?';
            break;
        case Fault::kWrongAddress:
            if (a.hasReply) a.head[1] = static_cast<char>('0' + (address + 1) % 9);
            break;
        case Fault::kWrongEcho:
            if (a.hasReply) CorruptEcho(a);
            break;
        case Fault::kOverlongReply:
            if (a.hasReply) PadOverlong(a);
            break;
        case Fault::kSlow:
            plan.slow = true;
            break;
        case Fault::kHangUp:
            // Mid-exchange: a read loses the line after ACK and '#', a set before its ACK.
            plan.hangUpAt = a.hasReply ? 2 : 0;
            break;
        case Fault::kNone:
        case Fault::kMissingCr:
            break;
    }
    plan.bytes.push_back(static_cast<char>(a.ack));
    if (a.hasReply) {
        plan.bytes += a.head + a.value + a.tail;
        if (fault != Fault::kMissingCr) plan.bytes.push_back(static_cast<char>(detail::kCr));
    }
    return plan;
}

// A device that does not acknowledge a request does not carry it out either.
bool Refuses(Fault f) {
    return f == Fault::kSilent || f == Fault::kNak || f == Fault::kCan;
}

struct FaultName {
    const char* name;
    Fault fault;
};
constexpr FaultName kFaultNames[] = {
    {"none", Fault::kNone},
    {"silent", Fault::kSilent},
    {"nak", Fault::kNak},
    {"can", Fault::kCan},
    {"garbage", Fault::kGarbageFirstByte},
    {"wrongaddress", Fault::kWrongAddress},
    {"wrongecho", Fault::kWrongEcho},
    {"missingcr", Fault::kMissingCr},
    {"overlong", Fault::kOverlongReply},
    {"slow", Fault::kSlow},
    {"hangup", Fault::kHangUp},
};

}  // namespace

bool FaultFromName(const std::string& name, Fault& fault) {
    for (const auto& entry : kFaultNames) {
        if (name == entry.name) {
            fault = entry.fault;
            return true;
        }
    }
    return false;
}

struct Simulator::Impl {
    Options options;
    std::string slavePath;
    int master = -1;
    int slave = -1;  // held open so that the line survives hosts that come and go
    int wake[2] = {-1, -1};
    std::FILE* traceFile = nullptr;
    double epoch = MonotonicSeconds();

    std::thread thread;
    std::atomic<bool> stopping{false};

    mutable std::mutex mutex;  // devices, faults, trace
    std::map<int, Device> devices;
    std::map<int, Fault> faults;
    std::map<int, int> faultsLeft;  // requests a limited fault still applies to; absent = all
    double slowDelay = 0.2;
    std::vector<TraceEntry> trace;

    std::mutex lineMutex;  // writes to the master and closing it

    // Framing state, touched by the serving thread only.
    std::string frame;
    bool inFrame = false;
    double lastArrival = 0.0;

    double Now() const { return MonotonicSeconds() - epoch; }
    bool unplugged = false;
    bool servedBeforeUnplug = false;

    void OpenPty();
    void Link();
    void CloseLine();
    void Record(const unsigned char* bytes, std::size_t n, bool fromHost);
    void RecordLocked(const unsigned char* bytes, std::size_t n, bool fromHost);
    bool WaitUntil(double deadline);
    bool WriteBytes(const char* data, std::size_t n);
    void Serve();
    void Feed(unsigned char byte, double arrival);
    void HandleFrame(double arrival);
    void Execute(const Plan& plan, double start);
    void AwaitHostRead();
    Device& DeviceAt(int address);
    Fault FaultAt(int address) const {
        const auto f = faults.find(address);
        return f == faults.end() ? Fault::kNone : f->second;
    }
};

void Simulator::Impl::OpenPty() {
    // Close-on-exec: a program the host starts must not keep the line alive after an unplug.
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) ThrowErrno("posix_openpt");
    if (grantpt(master) != 0 || unlockpt(master) != 0) ThrowErrno("grantpt/unlockpt");
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) ThrowErrno("ptsname_r");
    slavePath = name;
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) ThrowErrno("open pty slave");
    // Raw line: no echo, no CR translation; whatever an earlier user left is reset here.
    termios tio{};
    if (tcgetattr(slave, &tio) != 0) ThrowErrno("tcgetattr");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(slave, TCSANOW, &tio) != 0) ThrowErrno("tcsetattr");
    const int flags = fcntl(master, F_GETFL);
    if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");
    if (wake[0] < 0 && pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("pipe2");
}

void Simulator::Impl::Link() {
    if (options.linkPath.empty()) return;
    struct stat st {};
    // Replace an earlier run's link, but never a real file.
    if (lstat(options.linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(options.linkPath.c_str());
    if (symlink(slavePath.c_str(), options.linkPath.c_str()) != 0) ThrowErrno("symlink");
}

void Simulator::Impl::CloseLine() {
    std::lock_guard lock(lineMutex);
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
    master = slave = -1;
}

void Simulator::Impl::Record(const unsigned char* bytes, std::size_t n, bool fromHost) {
    std::lock_guard lock(mutex);
    RecordLocked(bytes, n, fromHost);
}

void Simulator::Impl::RecordLocked(const unsigned char* bytes, std::size_t n, bool fromHost) {
    const double t = Now();
    for (std::size_t i = 0; i < n; ++i) {
        if (trace.size() >= kTraceCap) trace.erase(trace.begin(), trace.begin() + kTraceCap / 2);
        trace.push_back({t, fromHost, bytes[i]});
        if (traceFile) {
            std::fprintf(traceFile, "%.6f %s %02X %s\n", t, fromHost ? "host->sim" : "sim->host", bytes[i],
                         ByteName(bytes[i] & 0x7f).c_str());
        }
    }
    if (traceFile) std::fflush(traceFile);
}

// Sleeps until the absolute monotonic deadline; false when stop() interrupts the wait.
bool Simulator::Impl::WaitUntil(double deadline) {
    constexpr double kFineSleep = 0.005;
    for (;;) {
        if (stopping) return false;
        const double remaining = deadline - MonotonicSeconds();
        if (remaining <= 0.0) return true;
        if (remaining <= kFineSleep) {
            const timespec ts = ToTimespec(deadline);
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
            }
            return !stopping;
        }
        // Long waits (slow devices) stay interruptible by stop().
        pollfd p{wake[0], POLLIN, 0};
        ::poll(&p, 1, static_cast<int>((remaining - kFineSleep) * 1000.0) + 1);
    }
}

bool Simulator::Impl::WriteBytes(const char* data, std::size_t n) {
    std::size_t done = 0;
    bool traced = false;
    while (done < n) {
        ssize_t w;
        {
            // Traced before they are written: the host may read them, and a client it answers may
            // read the trace file, before a write could be followed by its record.
            std::scoped_lock lock(lineMutex, mutex);
            if (master < 0) return false;
            if (!traced) RecordLocked(reinterpret_cast<const unsigned char*>(data), n, false);
            traced = true;
            w = ::write(master, data + done, n - done);
        }
        if (w > 0) {
            done += static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EAGAIN) {
            // The host is not reading and the terminal's buffer is full: wait for room or stop().
            pollfd p[2] = {{master, POLLOUT, 0}, {wake[0], POLLIN, 0}};
            ::poll(p, 2, -1);
            if (stopping) return false;
        } else if (w < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

Device& Simulator::Impl::DeviceAt(int address) {
    const auto it = devices.find(address);
    if (it == devices.end()) throw std::invalid_argument("no device at address " + std::to_string(address));
    return it->second;
}

void Simulator::Impl::Serve() {
    unsigned char buffer[256];
    while (!stopping) {
        pollfd p[2] = {{master, POLLIN, 0}, {wake[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (stopping) break;
        if (p[1].revents & POLLIN) {
            char drain[16];
            while (::read(wake[0], drain, sizeof drain) > 0) {
            }
            continue;
        }
        if (!(p[0].revents & POLLIN)) {
            if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) break;  // line gone: nothing more to serve
            continue;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) break;
        const double readAt = MonotonicSeconds();
        Record(buffer, static_cast<std::size_t>(n), true);
        for (ssize_t i = 0; i < n && master >= 0; ++i) {
            // With pacing a byte counts as received only when its stop bit would have passed.
            const double arrival = options.pace ? std::max(readAt, lastArrival) + kByteSeconds : readAt;
            lastArrival = arrival;
            Feed(buffer[i], arrival);
        }
        if (master < 0) break;  // hung up on purpose
    }
}

void Simulator::Impl::Feed(unsigned char byte, double arrival) {
    const char c = static_cast<char>(byte & 0x7f);  // the terminal keeps no parity bit
    if (c == '#') {                                 // a new request starts, whatever came before
        frame.assign(1, c);
        inFrame = true;
        return;
    }
    if (!inFrame) return;  // noise between requests
    if (c == '\r') {
        inFrame = false;
        HandleFrame(arrival);
        return;
    }
    if (frame.size() < kMaxFrame) frame.push_back(c);
}

void Simulator::Impl::HandleFrame(double arrival) {
    Plan plan;
    {
        std::lock_guard lock(mutex);
        const double t = Now();
        // A frame without an address digit carries no device's address: nobody may answer.
        if (frame.size() < 2 || frame[1] < '0' || frame[1] > '9') return;
        const std::string_view body = std::string_view(frame).substr(2);
        if (frame[1] == '9') {
            // Common address: every device carries the request out and none answers.
            for (auto& [address, d] : devices) {
                if (!Refuses(FaultAt(address))) d.Handle(body, t);
            }
            return;
        }
        const int address = frame[1] - '0';
        const auto it = devices.find(address);
        if (it == devices.end()) return;  // nobody there
        const Fault fault = FaultAt(address);
        if (const auto left = faultsLeft.find(address); left != faultsLeft.end() && --left->second <= 0) {
            faults.erase(address);
            faultsLeft.erase(left);
        }
        if (Refuses(fault)) {
            plan = MakePlan(Answer{}, fault, address);
        } else {
            plan = MakePlan(it->second.Handle(body, t), fault, address);
        }
    }
    Execute(plan, arrival);
}

void Simulator::Impl::Execute(const Plan& plan, double start) {
    double slow;
    {
        std::lock_guard lock(mutex);
        slow = slowDelay;
    }
    if (options.pace && !WaitUntil(start)) return;
    const bool perByte = options.pace || plan.slow;
    if (!perByte && plan.hangUpAt == std::string::npos) {
        WriteBytes(plan.bytes.data(), plan.bytes.size());
        return;
    }
    double deadline = start;
    for (std::size_t i = 0; i < plan.bytes.size(); ++i) {
        if (i == plan.hangUpAt) break;
        if (perByte) {
            if (plan.slow) deadline += slow;
            if (options.pace) deadline += kByteSeconds;
            if (!WaitUntil(deadline)) return;
        }
        if (!WriteBytes(&plan.bytes[i], 1)) return;
    }
    if (plan.hangUpAt != std::string::npos) {
        AwaitHostRead();
        CloseLine();
    }
}

// A hang-up discards what the terminal still buffers, so let the host take the bytes that were
// sent before the line goes (bounded: a host that stopped reading must not keep the line up).
void Simulator::Impl::AwaitHostRead() {
    constexpr double kArrival = 0.05;  // the terminal hands written bytes on asynchronously
    constexpr double kPatience = 1.0;
    constexpr double kStep = 0.001;
    const double start = MonotonicSeconds();
    bool seen = false;
    for (;;) {
        int pending = 0;
        if (ioctl(slave, FIONREAD, &pending) != 0) return;
        seen = seen || pending > 0;
        const double elapsed = MonotonicSeconds() - start;
        if ((seen && pending == 0) || (!seen && elapsed > kArrival) || elapsed > kPatience) return;
        if (!WaitUntil(MonotonicSeconds() + kStep)) return;
    }
}

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->OpenPty();
    if (!impl_->options.tracePath.empty()) {
        impl_->traceFile = std::fopen(impl_->options.tracePath.c_str(), "w");
        if (!impl_->traceFile) ThrowErrno("open trace file");
    }
    impl_->Link();
}

Simulator::~Simulator() {
    Stop();
    impl_->CloseLine();
    for (int& fd : impl_->wake) {
        if (fd >= 0) ::close(fd);
    }
    if (!impl_->options.linkPath.empty() && !impl_->unplugged) ::unlink(impl_->options.linkPath.c_str());
    if (impl_->traceFile) std::fclose(impl_->traceFile);
}

const std::string& Simulator::Path() const {
    return impl_->options.linkPath.empty() ? impl_->slavePath : impl_->options.linkPath;
}

void Simulator::AddKwd2(int address, std::string identification, double loadOhms) {
    if (address < 0 || address > 8) throw std::invalid_argument("bus address must be 0 to 8");
    std::lock_guard lock(impl_->mutex);
    impl_->devices.insert_or_assign(address,
                                    Device(address, std::move(identification), true, loadOhms, impl_->Now()));
}

void Simulator::AddForeign(int address, std::string identification) {
    if (address < 0 || address > 8) throw std::invalid_argument("bus address must be 0 to 8");
    std::lock_guard lock(impl_->mutex);
    impl_->devices.insert_or_assign(address,
                                    Device(address, std::move(identification), false, 0.0, impl_->Now()));
}

void Simulator::SetFault(int address, Fault fault) {
    std::lock_guard lock(impl_->mutex);
    impl_->faults[address] = fault;
    impl_->faultsLeft.erase(address);
}

void Simulator::SetFault(int address, Fault fault, int requests) {
    std::lock_guard lock(impl_->mutex);
    impl_->faults[address] = fault;
    impl_->faultsLeft[address] = requests;
}

void Simulator::SetSlowDelay(double seconds) {
    std::lock_guard lock(impl_->mutex);
    impl_->slowDelay = seconds;
}

void Simulator::Start() {
    if (impl_->thread.joinable()) return;
    impl_->stopping = false;
    impl_->thread = std::thread([this] { impl_->Serve(); });
}

void Simulator::Stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stopping = true;
    const char c = 1;
    [[maybe_unused]] const ssize_t w = ::write(impl_->wake[1], &c, 1);
    impl_->thread.join();
}

std::vector<TraceEntry> Simulator::Trace() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->trace;
}

std::string Simulator::HostBytes() const {
    std::lock_guard lock(impl_->mutex);
    std::string bytes;
    for (const auto& e : impl_->trace) {
        if (e.fromHost) bytes.push_back(static_cast<char>(e.byte));
    }
    return bytes;
}

void Simulator::ClearTrace() {
    std::lock_guard lock(impl_->mutex);
    impl_->trace.clear();
}

double Simulator::RegisterValue(int address, const std::string& name) const {
    const int index = detail::RegisterByName(name);
    if (index < 0) throw std::invalid_argument("unknown register " + name);
    std::lock_guard lock(impl_->mutex);
    return impl_->DeviceAt(address).RegisterValue(index, impl_->Now());
}

void Simulator::SetRegisterValue(int address, const std::string& name, double value) {
    const int index = detail::RegisterByName(name);
    if (index < 0) throw std::invalid_argument("unknown register " + name);
    std::lock_guard lock(impl_->mutex);
    impl_->DeviceAt(address).SetRegisterValue(index, value, impl_->Now());
}

int Simulator::Range(int address, int parameterSet) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->DeviceAt(address).Range(parameterSet);
}

void Simulator::SetStatusByte(int address, int selector, int value) {
    std::lock_guard lock(impl_->mutex);
    impl_->DeviceAt(address).OverrideStatus(selector, value);
}

bool Simulator::Running(int address) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->DeviceAt(address).Running();
}

void Simulator::InjectBytes(const std::string& bytes) {
    impl_->WriteBytes(bytes.data(), bytes.size());
}

void Simulator::SelectParameterSet(int address, int parameterSet) {
    std::lock_guard lock(impl_->mutex);
    impl_->DeviceAt(address).SelectParameterSet(parameterSet, impl_->Now());
}

void Simulator::Unplug() {
    if (impl_->unplugged) return;
    impl_->servedBeforeUnplug = impl_->thread.joinable();
    Stop();
    impl_->CloseLine();
    if (!impl_->options.linkPath.empty()) ::unlink(impl_->options.linkPath.c_str());
    impl_->unplugged = true;
}

void Simulator::Replug() {
    if (!impl_->unplugged) return;
    impl_->OpenPty();
    impl_->Link();
    impl_->frame.clear();
    impl_->inFrame = false;
    impl_->unplugged = false;
    if (impl_->servedBeforeUnplug) Start();
}

bool Simulator::PluggedIn() const {
    return !impl_->unplugged;
}

}  // namespace kwd2sim
