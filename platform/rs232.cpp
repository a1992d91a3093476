// Serial ports over Qt SerialPort. On Unix an exchange reads and writes the descriptor itself and
// waits on it with poll(): fewer system calls than Qt's buffered path, and a line that hangs up ends
// a read at once instead of spinning until the time-out. Once a line has hung up, its notifiers are
// switched off and every operation on it fails at once without touching it.
#include "platform/rs232.h"

#include <QtSerialPort/QSerialPort>

#include <QtCore/QByteArray>
#include <QtCore/QEvent>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSocketNotifier>
#include <QtCore/QString>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/rs232_seam.h"
#include "platform/wiretime.h"

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#if defined(Q_OS_LINUX)
#include <linux/serial.h>
#endif
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxPort = 32;

// The exclusive lock on a line's device, held for as long as the port is open. flock() and not the
// terminal's exclusive mode, because the latter does not stop a privileged process.
class LineLock {
  public:
    LineLock() = default;
    ~LineLock() { Release(); }
    LineLock(const LineLock&) = delete;
    LineLock& operator=(const LineLock&) = delete;

    // False only when someone else holds the line; a device that cannot be locked at all is
    // left to the open that follows.
    bool Acquire(const QString& path) {
#if defined(Q_OS_UNIX)
        const QByteArray name = QFile::encodeName(path);
        fd_ = ::open(name.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return true;
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
        const bool busy = errno == EWOULDBLOCK;
        Release();
        return !busy;
#else
        Q_UNUSED(path);
        return true;
#endif
    }
    void Release() {
#if defined(Q_OS_UNIX)
        if (fd_ >= 0) ::close(fd_);
#endif
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

struct Port;

// Qt's read notifier takes a hung-up descriptor (always readable, every read returning nothing)
// for one with nothing to read yet and stays armed, so the event loop would wake for it without
// end and spin a core. This filter sits in front of the port's notifiers and ends that.
class HangUpGuard : public QObject {
  public:
    explicit HangUpGuard(Port& port) : port_(port) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Port& port_;
};

struct Port {
    LineLock lock;  // declared first: released after the line itself is closed
    QSerialPort serial;
    HangUpGuard guard{*this};
    bool lineLost = false;
    int timeoutMs = 1000;
    bool pseudoTerminal = false;
    // When the line's own queue length cannot be read: when the last byte written leaves the wire.
    Clock::time_point wireIdleAt{};
    int bitsPerCharacter = 10;
    long baudRate = 9600;
    Rs232Latency latency;
    // Bytes read straight from the descriptor. They are always older than what Qt's buffer takes in
    // afterwards, so they are handed out first.
    std::array<char, 512> received{};
    std::size_t receivedNext = 0;
    std::size_t receivedEnd = 0;
};

std::array<std::unique_ptr<Port>, kMaxPort + 1> gPorts;
std::array<int, kMaxPort + 1> gLastOpen{};

bool ValidPortNumber(int port) {
    return port >= 1 && port <= kMaxPort;
}

Port* OpenPort(int port) {
    return ValidPortNumber(port) ? gPorts[static_cast<std::size_t>(port)].get() : nullptr;
}

// "comN" names the N-th port: KWD2_COMN when set, else the system's device.
QString DevicePath(const char* deviceName) {
    std::string name = deviceName;
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower.size() > 3 && lower.compare(0, 3, "com") == 0 &&
        std::all_of(lower.begin() + 3, lower.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const int number = std::atoi(lower.c_str() + 3);
        const std::string variable = "KWD2_COM" + std::to_string(number);
        if (const char* mapped = std::getenv(variable.c_str()); mapped != nullptr && *mapped != '\0') {
            return QFile::decodeName(mapped);
        }
#if defined(Q_OS_WIN)
        return QStringLiteral("COM%1").arg(number);
#else
        return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
    }
    return QFile::decodeName(name.c_str());
}

bool IsPseudoTerminal(const QString& path) {
#if defined(Q_OS_LINUX)
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.startsWith(QStringLiteral("/dev/pts/")) || target == QStringLiteral("/dev/ptmx");
#else
    Q_UNUSED(path);
    return false;
#endif
}

std::optional<QSerialPort::Parity> QtParity(int parity) {
    // Indexed by the parity code: 0 none, 1 odd, 2 even, 3 mark, 4 space.
    constexpr std::array kParities{QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
                                   QSerialPort::MarkParity, QSerialPort::SpaceParity};
    if (parity < 0 || parity >= static_cast<int>(kParities.size())) return std::nullopt;
    return kParities[static_cast<std::size_t>(parity)];
}

// Applies the line settings. A pseudo-terminal keeps neither data bits nor parity, so failing to set
// them is tolerated there; a real port must take every setting.
bool Configure(Port& p, long baudRate, QSerialPort::Parity parity, int dataBits, int stopBits) {
    QSerialPort& s = p.serial;
    if (!s.setBaudRate(static_cast<qint32>(baudRate))) return false;
    if (!s.setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)) return false;
    if (!s.setFlowControl(QSerialPort::NoFlowControl)) return false;
    const bool framing = s.setDataBits(static_cast<QSerialPort::DataBits>(dataBits)) && s.setParity(parity);
    if (!framing && !p.pseudoTerminal) return false;
    s.clearError();
    p.baudRate = baudRate;
    p.bitsPerCharacter = 1 + dataBits + (parity == QSerialPort::NoParity ? 0 : 1) + stopBits;
    return true;
}

std::chrono::microseconds WireTime(const Port& p, qint64 bytes) {
    return std::chrono::duration_cast<std::chrono::microseconds>(
        Rs232WireTime(bytes, p.bitsPerCharacter, p.baudRate));
}

// Bytes the operating system still holds for sending; -1 when it cannot tell.
int SystemOutputQueue(Port& p) {
#if defined(Q_OS_UNIX)
    int pending = 0;
    if (::ioctl(static_cast<int>(p.serial.handle()), TIOCOUTQ, &pending) == 0 && pending >= 0) return pending;
    return -1;
#elif defined(Q_OS_WIN)
    COMSTAT status{};
    DWORD errors = 0;
    if (ClearCommError(p.serial.handle(), &errors, &status)) return static_cast<int>(status.cbOutQue);
    return -1;
#else
    Q_UNUSED(p);
    return -1;
#endif
}

// Estimate from the wire time of what was written, for lines that cannot report their queue.
int EstimatedOutputQueue(const Port& p) {
    const auto left = p.wireIdleAt - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto perByte = WireTime(p, 1);
    return static_cast<int>((left + perByte - Clock::duration(1)) / perByte);
}

// USB serial adapters hold received bytes up to their latency timer (often 16 ms) before passing
// them on, which can double an exchange. Ask the driver for low latency; a line that has no such
// mode (a pseudo-terminal, a plain UART driver, an adapter without it) refuses, and that is fine.
void RequestLowLatency(Port& p, const QString& path) {
#if defined(Q_OS_LINUX)
    p.latency.requested = true;
    const int fd = static_cast<int>(p.serial.handle());
    const Rs232Hooks* hooks = gRs232Hooks;
    const auto serialIoctl = [hooks](int handle, unsigned long request, serial_struct* line) {
        if (hooks != nullptr && hooks->serialIoctl != nullptr)
            return hooks->serialIoctl(handle, request, line);
        return ::ioctl(handle, request, line);
    };
    serial_struct line{};
    if (serialIoctl(fd, TIOCGSERIAL, &line) == 0) {
        line.flags |= ASYNC_LOW_LATENCY;
        p.latency.granted = serialIoctl(fd, TIOCSSERIAL, &line) == 0;
    }
    // What the adapter's latency timer stands at now, for a user wondering why exchanges are slow.
    const QString tty = QFileInfo(QFileInfo(path).canonicalFilePath()).fileName();
    const QString sysfs = hooks != nullptr && hooks->sysfsRoot != nullptr
                              ? QFile::decodeName(hooks->sysfsRoot)
                              : QStringLiteral("/sys");
    QFile timer(sysfs + QStringLiteral("/bus/usb-serial/devices/") + tty + QStringLiteral("/latency_timer"));
    if (!tty.isEmpty() && timer.open(QIODevice::ReadOnly)) {
        bool number = false;
        const int ms = timer.readAll().trimmed().toInt(&number);
        if (number) p.latency.latencyTimerMs = ms;
    }
#else
    Q_UNUSED(p);
    Q_UNUSED(path);
#endif
}

// The notifiers Qt has made for the line so far; a write notifier comes with the first write.
QList<QSocketNotifier*> Notifiers(Port& p) {
    return p.serial.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly);
}

void GuardNotifiers(Port& p) {
    for (QSocketNotifier* n : Notifiers(p)) n->installEventFilter(&p.guard);
}

// For good: nothing may wait on, or be woken by, a line that is gone. Qt arms its read notifier
// again whenever it reads, which is why no operation reads a lost line.
void MarkLost(Port& p) {
    p.lineLost = true;
    for (QSocketNotifier* n : Notifiers(p)) n->setEnabled(false);
}

// The descriptor reports a hang-up (or an error) and holds no byte that could still be read.
bool HungUp(Port& p) {
#if defined(Q_OS_UNIX)
    const int handle = static_cast<int>(p.serial.handle());
    pollfd fd{handle, POLLIN, 0};
    if (::poll(&fd, 1, 0) <= 0 || (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) return false;
    int waiting = 0;
    return ::ioctl(handle, FIONREAD, &waiting) != 0 || waiting <= 0;
#else
    Q_UNUSED(p);
    return false;
#endif
}

enum class Wait { kReadable, kTimedOut, kFailed };

// Waits until the line has a byte, the time is up, or the line has hung up.
Wait WaitReadable(Port& p, int timeoutMs) {
#if defined(Q_OS_UNIX)
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fd{static_cast<int>(p.serial.handle()), POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Wait::kFailed;
        if (ready == 0) return Wait::kTimedOut;
        if ((fd.revents & POLLIN) != 0) return Wait::kReadable;
        return Wait::kFailed;  // POLLHUP, POLLERR or POLLNVAL without data
    }
#else
    return p.serial.waitForReadyRead(timeoutMs) ? Wait::kReadable : Wait::kTimedOut;
#endif
}

bool HangUpGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::SockAct || !HungUp(port_)) return QObject::eventFilter(watched, event);
    MarkLost(port_);
    return true;
}

}  // namespace

int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int outputQueueSize) {
    const auto qParity = QtParity(parity);
    if (!ValidPortNumber(port) || deviceName == nullptr || baudRate <= 0 || !qParity || dataBits < 5 ||
        dataBits > 8 || (stopBits != 1 && stopBits != 2) || inputQueueSize < 0 || outputQueueSize < 0) {
        return RS232_INVALID_PORT;
    }
    CloseCom(port);
    int& result = gLastOpen[static_cast<std::size_t>(port)];
    auto p = std::make_unique<Port>();
    const QString path = DevicePath(deviceName);
    p->pseudoTerminal = IsPseudoTerminal(path);
    p->serial.setPortName(path);
    if (inputQueueSize > 0) p->serial.setReadBufferSize(inputQueueSize);
    if (!p->lock.Acquire(path)) return result = RS232_PORT_IN_USE;
    if (!p->serial.open(QIODevice::ReadWrite)) return result = RS232_CANNOT_OPEN;
    if (!Configure(*p, baudRate, *qParity, dataBits, stopBits)) {
        p->serial.close();
        return result = RS232_CANNOT_OPEN;
    }
    RequestLowLatency(*p, path);
    result = 0;
    p->serial.clear(QSerialPort::AllDirections);
    GuardNotifiers(*p);
    gPorts[static_cast<std::size_t>(port)] = std::move(p);
    if (gRs232Hooks != nullptr) gRs232Hooks->opened(port);
    return 0;
}

int CloseCom(int port) {
    Port* p = OpenPort(port);
    if (p == nullptr) return RS232_PORT_NOT_OPEN;
    p->serial.close();
    gPorts[static_cast<std::size_t>(port)].reset();
    return 0;
}

int SetComTime(int port, double timeoutSeconds) {
    Port* p = OpenPort(port);
    if (p == nullptr) return RS232_PORT_NOT_OPEN;
    if (!std::isfinite(timeoutSeconds) || timeoutSeconds < 0.0 || timeoutSeconds > 1.0e6)
        return RS232_INVALID_PORT;
    p->timeoutMs = static_cast<int>(std::lround(timeoutSeconds * 1000.0));
    return 0;
}

namespace {

// Writes straight to the descriptor when Qt holds nothing unsent: one system call, without Qt
// arming and disarming its write notifier around it. Returns what the line took (what did not fit
// is left to Qt), or -1 for a failed line.
qint64 WriteDirect(Port& p, const char* buffer, qint64 count) {
#if defined(Q_OS_UNIX)
    if (p.serial.bytesToWrite() > 0) return 0;  // behind what Qt still holds
    const int fd = static_cast<int>(p.serial.handle());
    qint64 done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, buffer + done, static_cast<std::size_t>(count - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else {
            return -1;
        }
    }
    return done;
#else
    Q_UNUSED(p);
    Q_UNUSED(buffer);
    Q_UNUSED(count);
    return 0;
#endif
}

// Queues the rest with Qt and hands it to the line now. Returns the bytes queued, or -1.
qint64 WriteQueued(Port& p, const char* buffer, qint64 count) {
    p.serial.clearError();
    const qint64 queued = p.serial.write(buffer, count);
    if (queued < 0) return -1;
    p.serial.flush();  // hand the bytes to the line now, not at the next event loop turn
    GuardNotifiers(p);
    const auto error = p.serial.error();
    if (error == QSerialPort::WriteError || error == QSerialPort::ResourceError) return -1;
    return queued;
}

}  // namespace

int ComWrt(int port, const char* buffer, int count) {
    Port* p = OpenPort(port);
    if (p == nullptr) return RS232_PORT_NOT_OPEN;
    if (buffer == nullptr || count < 0) return RS232_WRITE_ERR;
    if (gRs232Hooks != nullptr) {
        if (gRs232Hooks->fault(port, Rs232Fault::kComWrtFails)) return RS232_WRITE_ERR;
        if (!p->lineLost && count > 0 && gRs232Hooks->fault(port, Rs232Fault::kComWrtShort)) --count;
    }
    if (p->lineLost) return RS232_WRITE_ERR;
    qint64 written = WriteDirect(*p, buffer, count);
    if (written < 0) return RS232_WRITE_ERR;
    if (written < count) {
        const qint64 queued = WriteQueued(*p, buffer + written, count - written);
        if (queued < 0) return RS232_WRITE_ERR;
        written += queued;
    }
    p->wireIdleAt = std::max(p->wireIdleAt, Clock::now()) + WireTime(*p, written);
    return static_cast<int>(written);
}

namespace {

// Takes what the descriptor holds into the port's own buffer: one read, without Qt's zero-time
// wait and notifier round trip. Returns false when nothing could be read.
bool ReadDirect(Port& p) {
#if defined(Q_OS_UNIX)
    ssize_t n = 0;
    do {
        n = ::read(static_cast<int>(p.serial.handle()), p.received.data(), p.received.size());
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    p.receivedNext = 0;
    p.receivedEnd = static_cast<std::size_t>(n);
    return true;
#else
    return p.serial.waitForReadyRead(0);
#endif
}

// A byte already taken from the line: first those read straight from the descriptor, then Qt's.
bool TakeHeld(Port& p, int& byte) {
    if (p.receivedNext < p.receivedEnd) {
        byte = static_cast<unsigned char>(p.received[p.receivedNext++]);
        return true;
    }
    char c = 0;
    if (p.serial.bytesAvailable() == 0 || !p.serial.getChar(&c)) return false;
    byte = static_cast<unsigned char>(c);
    return true;
}

int ReadByte(Port* p) {
    if (p->lineLost) return RS232_READ_ERR;
    int byte = 0;
    if (TakeHeld(*p, byte)) return byte;
    switch (WaitReadable(*p, p->timeoutMs)) {
        case Wait::kTimedOut:
            return RS232_TIMEOUT_ERR;
        case Wait::kFailed:
            MarkLost(*p);
            return RS232_READ_ERR;
        case Wait::kReadable:
            break;
    }
    // Nothing there after all is a hang-up that came with its last bytes.
    if (!ReadDirect(*p)) {
        if (HungUp(*p)) MarkLost(*p);
        return RS232_READ_ERR;
    }
    return TakeHeld(*p, byte) ? byte : RS232_READ_ERR;
}

}  // namespace

int ComRdByte(int port) {
    Port* p = OpenPort(port);
    if (p == nullptr) return RS232_PORT_NOT_OPEN;
    const int result = ReadByte(p);
    if (gRs232Hooks != nullptr) gRs232Hooks->byteRead(port, result == RS232_TIMEOUT_ERR);
    return result;
}

int GetOutQLen(int port) {
    Port* p = OpenPort(port);
    if (p == nullptr) return RS232_PORT_NOT_OPEN;
    if (gRs232Hooks != nullptr) {
        if (gRs232Hooks->fault(port, Rs232Fault::kGetOutQLenFails)) return RS232_WRITE_ERR;
        if (!p->lineLost && gRs232Hooks->fault(port, Rs232Fault::kGetOutQLenStuck)) return 1;
    }
    if (p->lineLost) return RS232_WRITE_ERR;
    if (p->serial.bytesToWrite() > 0) p->serial.flush();
    const qint64 held = p->serial.bytesToWrite();
    int system = SystemOutputQueue(*p);
    if (system < 0) system = EstimatedOutputQueue(*p);
    return static_cast<int>(held) + system;
}

int FlushInQ(int port) {
    Port* p = OpenPort(port);
    if (p == nullptr) return RS232_PORT_NOT_OPEN;
    if ((gRs232Hooks != nullptr && gRs232Hooks->fault(port, Rs232Fault::kFlushInQFails)) || p->lineLost)
        return RS232_READ_ERR;
    p->receivedNext = p->receivedEnd = 0;
    return p->serial.clear(QSerialPort::Input) ? 0 : RS232_READ_ERR;
}

int FlushOutQ(int port) {
    Port* p = OpenPort(port);
    if (p == nullptr) return RS232_PORT_NOT_OPEN;
    if ((gRs232Hooks != nullptr && gRs232Hooks->fault(port, Rs232Fault::kFlushOutQFails)) || p->lineLost)
        return RS232_WRITE_ERR;
    // What a pseudo-terminal has taken is already with the other side: flushing it there would
    // discard the peer's unread input, so only bytes Qt still holds are dropped.
    if (p->pseudoTerminal && p->serial.bytesToWrite() == 0) return 0;
    if (!p->serial.clear(QSerialPort::Output)) return RS232_WRITE_ERR;
    p->wireIdleAt = Clock::now();
    return 0;
}

int Rs232_LastOpenResult(int port) {
    return ValidPortNumber(port) ? gLastOpen[static_cast<std::size_t>(port)] : 0;
}

int Rs232_LineLost(int port) {
    Port* p = OpenPort(port);
    if (p == nullptr) return 0;
#if defined(Q_OS_UNIX)
    // A hang-up shows on the descriptor whichever call ran into it first (a flush, a write).
    pollfd fd{static_cast<int>(p->serial.handle()), POLLIN, 0};
    if (!p->lineLost && ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        MarkLost(*p);
#endif
    return p->lineLost ? 1 : 0;
}

int Rs232_DevicePath(const char* deviceName, char* path, int pathSize) {
    if (deviceName == nullptr || path == nullptr || pathSize <= 0) return RS232_INVALID_PORT;
    const QByteArray name = QFile::encodeName(DevicePath(deviceName));
    if (name.size() >= pathSize) return RS232_INVALID_PORT;
    std::copy(name.begin(), name.end(), path);
    path[name.size()] = '\0';
    return static_cast<int>(name.size());
}

const Rs232Hooks* gRs232Hooks = nullptr;

Rs232Latency Rs232_PortLatency(int port) {
    const Port* p = OpenPort(port);
    return p != nullptr ? p->latency : Rs232Latency{};
}

int Rs232_PortArmedNotifiers(int port) {
    Port* p = OpenPort(port);
    if (p == nullptr) return 0;
    const auto list = Notifiers(*p);
    return static_cast<int>(
        std::count_if(list.begin(), list.end(), [](QSocketNotifier* n) { return n->isEnabled(); }));
}
