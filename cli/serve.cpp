// kwd2ctl serve: the bus as a SCPI instrument on a TCP socket. One thread: every client's
// program messages run a unit at a time in turn, and sockets never block, so an idle, slow or
// half-open client holds up the others no longer than the exchange in progress.
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>

#include "cli/context.h"
#include "cli/kwd2ctl.h"
#include "cli/scpi_commands.h"
#include "driver/kalibrierdatensatz.h"
#include "driver/zelkwd2.h"
#include "platform/rs232.h"
#include "platform/tcpserver.h"
#include "record/rowwriter.h"

namespace scpi {

namespace {

class DriverBus : public Bus {
  public:
    explicit DriverBus(const int& port) : port_(port) {}
    int Identification(int address, std::string& id) override {
        char text[64] = {};
        const int rc = ZELKWD2_IDLesen(port_, address, text);
        if (rc == 0) id = text;
        return rc;
    }
    int ReadRegister(int address, const char* name, double& value) override {
        return ZELKWD2_ParameterLesen(port_, address, name, &value);
    }
    int WriteRegister(int address, const char* name, double value) override {
        return ZELKWD2_ParameterSchreiben(port_, address, name, value);
    }
    int ReadRange(int address, int parameterSet, int& range) override {
        return ZELKWD2_MessbereichLesen(port_, address, parameterSet, &range);
    }
    int WriteRange(int address, int parameterSet, int range) override {
        return ZELKWD2_MessbereichSchreiben(port_, address, parameterSet, range);
    }
    int ReadStatus(int address, int selector, int& status) override {
        return ZELKWD2_StatusLesen(port_, address, selector, &status);
    }
    int DeviceFunction(int address, const char* function) override {
        return ZELKWD2_DeviceFunction(port_, address, function);
    }
    std::string Message(int code) override { return kwd2ctl::MessageFor(code); }

  private:
    const int& port_;  // follows a reopened line
};

}  // namespace

std::unique_ptr<Bus> MakeDriverBus(const int& port) {
    return std::make_unique<DriverBus>(port);
}

}  // namespace scpi

namespace kwd2ctl {

namespace {

constexpr std::size_t kLineLimit = 4096;
constexpr std::size_t kPendingLines = 64;      // more are left in the socket until these ran
constexpr std::size_t kOutputLimit = 1 << 20;  // answers a client does not read
constexpr long kReadChunk = 4096;

struct Connection {
    int socket = -1;
    scpi::ClientState state;
    std::string input;
    bool discarding = false;  // the rest of an overlong line
    std::deque<std::string> lines;
    std::unique_ptr<scpi::Message> current;
    std::string output;
    bool queued = false;      // in the turn order
    bool inputEnded = false;  // the peer sent all it will send ("echo OUTP OFF | nc")
    bool Idle() const { return lines.empty() && !current; }
};

class Server {
  public:
    Server(Context& ctx, scpi::Bridge& bridge, int listenSocket, std::size_t maxClients)
        : ctx_(ctx), bridge_(bridge), listen_(listenSocket), maxClients_(maxClients) {
        bridge_.onOutputSwitch = [this](const scpi::ClientState& client, int address, bool on) {
            Log(client.name,
                std::string("output ") + (on ? "on" : "off") + " at bus address " + std::to_string(address));
        };
    }
    ~Server() {
        for (auto& [id, c] : clients_) Tcp_Close(c.socket);
        Tcp_Close(listen_);
    }

    void Run() {
        for (;;) {
            std::vector<TcpWaitItem> items{{listen_, true, false}};
            std::vector<int> ids;
            for (auto& [id, c] : clients_) {
                items.push_back(
                    {c.socket, !c.inputEnded && c.lines.size() < kPendingLines, !c.output.empty()});
                ids.push_back(id);
            }
            // With work waiting the wait only looks; otherwise it sleeps until something happens.
            if (!Tcp_Wait(items, turns_.empty() ? -1 : 0)) break;
            if (items[0].readable) AcceptAll();
            for (std::size_t i = 1; i < items.size(); ++i) {
                const auto it = clients_.find(ids[i - 1]);
                if (it == clients_.end()) continue;
                if (items[i].writable) Flush(it->first);
                if (items[i].readable && clients_.count(ids[i - 1]) != 0) Receive(ids[i - 1]);
            }
            RunOneUnit();
        }
        Log("-", "stopping: closing " + std::to_string(clients_.size()) + " client(s)");
    }

  private:
    Context& ctx_;
    scpi::Bridge& bridge_;
    int listen_;
    std::size_t maxClients_;
    std::map<int, Connection> clients_;
    std::deque<int> turns_;
    int nextId_ = 1;
    bool lineLostNoted_ = false;

    void Log(const std::string& who, const std::string& what) {
        ctx_.err << record::IsoTime(std::chrono::system_clock::now()) << ' ' << who << ' ' << what << '\n'
                 << std::flush;
    }

    void AcceptAll() {
        for (;;) {
            std::string peer;
            const int socket = Tcp_Accept(listen_, peer);
            if (socket < 0) return;
            if (clients_.size() >= maxClients_) {
                // Logged before the close, so whoever sees the connection end finds the reason.
                Log(peer,
                    "refused: " + std::to_string(maxClients_) + " clients already connected (--max-clients)");
                Tcp_Close(socket);
                continue;
            }
            Connection& c = clients_[nextId_++];
            c.socket = socket;
            c.state.name = peer;
            c.state.address = ctx_.Address();
            Log(peer, "connected");
        }
    }

    void Drop(int id, const std::string& why) {
        const auto it = clients_.find(id);
        if (it == clients_.end()) return;
        Log(it->second.state.name, why);
        Tcp_Close(it->second.socket);
        clients_.erase(it);
    }

    void Receive(int id) {
        Connection& c = clients_.at(id);
        char buffer[kReadChunk];
        for (;;) {
            const long n = Tcp_Read(c.socket, buffer, kReadChunk);
            if (n == -1) break;
            if (n == -2) {
                Drop(id, "connection broken");
                return;
            }
            if (n == 0) {
                // What it sent still runs, the last line even without its LF; its answers go out
                // before the connection is closed.
                if (!c.input.empty() && !c.discarding) c.lines.push_back(std::move(c.input));
                c.input.clear();
                c.inputEnded = true;
                break;
            }
            Split(c, std::string_view(buffer, static_cast<std::size_t>(n)));
            if (c.lines.size() >= kPendingLines) break;
        }
        if (!c.queued && !c.Idle()) {
            c.queued = true;
            turns_.push_back(id);
        }
        CloseWhenDone(id);
    }

    void CloseWhenDone(int id) {
        const auto it = clients_.find(id);
        if (it != clients_.end() && it->second.inputEnded && it->second.Idle() && it->second.output.empty()) {
            Drop(id, "disconnected");
        }
    }

    // Cuts the arrived bytes into program messages; a line over the limit is dropped whole.
    static void Split(Connection& c, std::string_view bytes) {
        while (!bytes.empty()) {
            const auto lf = bytes.find('\n');
            const std::string_view piece = bytes.substr(0, lf);
            if (!c.discarding) c.input.append(piece);
            if (!c.discarding && c.input.size() > kLineLimit) {
                c.state.errors.Push(scpi::kInputBufferOverrun, scpi::ErrorText(scpi::kInputBufferOverrun));
                c.input.clear();
                c.discarding = true;
            }
            if (lf == std::string_view::npos) return;
            if (!c.discarding) c.lines.push_back(std::move(c.input));
            c.input.clear();
            c.discarding = false;
            bytes.remove_prefix(lf + 1);
        }
    }

    void Flush(int id) {
        Connection& c = clients_.at(id);
        if (c.output.empty()) return;
        const long n = Tcp_Write(c.socket, c.output.data(), static_cast<long>(c.output.size()));
        if (n < 0) {
            Drop(id, "connection broken");
            return;
        }
        c.output.erase(0, static_cast<std::size_t>(n));
        if (c.output.size() > kOutputLimit) {
            Drop(id, "closed: does not read its answers");
            return;
        }
        CloseWhenDone(id);
    }

    // A lost line is opened again before the next exchange; until it is back, every exchange
    // reports the line's error to the client that asked.
    void KeepLine() {
        if (ctx_.port != 0 && Rs232_LineLost(ctx_.port) == 0) return;
        if (!lineLostNoted_) Log("-", "serial line lost: " + ctx_.devicePath);
        lineLostNoted_ = true;
        if (ReopenLine(ctx_)) {
            Log("-", "serial line back: " + ctx_.devicePath);
            lineLostNoted_ = false;
        }
    }

    void RunOneUnit() {
        while (!turns_.empty()) {
            const int id = turns_.front();
            turns_.pop_front();
            const auto it = clients_.find(id);
            if (it == clients_.end()) continue;
            Connection& c = it->second;
            c.queued = false;
            if (!c.current) {
                if (c.lines.empty()) continue;
                c.current = std::make_unique<scpi::Message>(c.lines.front());
                c.lines.pop_front();
            }
            KeepLine();
            c.current->Step(bridge_, c.state);
            if (c.current->Done()) {
                c.output += c.current->Response();
                c.current.reset();
                Flush(id);
                if (clients_.count(id) == 0) return;
            }
            if (!c.Idle()) {
                c.queued = true;
                turns_.push_back(id);
            }
            CloseWhenDone(id);
            return;
        }
    }
};

}  // namespace

int ServeCommand(Context& ctx) {
    if (!ctx.inv.arguments.empty()) throw UsageError("serve takes no arguments");
    RequireOneAddress(ctx, false);
    const auto listen = ctx.inv.Option("listen");
    std::string host;
    int tcpPort = 0;
    std::string problem;
    if (!Tcp_SplitHostPort(listen.value_or("127.0.0.1:5025"), host, tcpPort, problem)) {
        throw UsageError("--listen: " + problem + ": '" + *listen + "'");
    }
    const auto code = ctx.inv.Option("access-code");
    if (code && *code != kalibrierung::kZugangsCode) throw UsageError("wrong calibration access code");
    const auto maxText = ctx.inv.Option("max-clients");
    const long long maxClients = maxText ? ParseCount(*maxText, "--max-clients") : 8;
    if (maxClients > 1000) throw UsageError("--max-clients: at most 1000");

    OpenLine(ctx);
    std::string bound;
    bool loopback = true;
    const int listenSocket = Tcp_Listen(host, tcpPort, bound, loopback, problem);
    if (listenSocket < 0) {
        ctx.err << "kwd2ctl: " << problem << '\n';
        return kExitFailure;
    }
    ctx.err << "kwd2ctl: serving " << ctx.inv.portName << " (" << ctx.devicePath << ") on " << bound << '\n';
    if (listen && !loopback) {
        ctx.err << "kwd2ctl: warning: listening on " << bound
                << ", which other machines can reach: anyone who can reach it can switch outputs\n";
    }
    ctx.err << std::flush;

    const std::unique_ptr<scpi::Bus> bus = scpi::MakeDriverBus(ctx.port);
    scpi::Bridge bridge(
        *bus, {ctx.inv.portName, Version(), ctx.inv.options.count("read-only") != 0, code.has_value()});
    Server server(ctx, bridge, listenSocket, static_cast<std::size_t>(maxClients));
    server.Run();
    return kExitOk;
}

}  // namespace kwd2ctl
