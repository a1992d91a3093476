// Start-up time of the program against a minimal Qt Widgets program that opens one window of the
// same size: from fork to the first painted window, both under one Xvfb, alternating, median of
// 20 starts each.
//
//   cmake --preset bench && cmake --build --preset bench --target start_bench kwd2steuerung &&
//   build/bench/bench/start/start_bench [starts] [program...]
//
// `program` (default: the one built alongside) lets an older build be timed the same way; with
// several, each takes its turn with the yardstick, so a before and an after share one Xvfb. The
// yardstick with one label is timed the same way, for comparison: the least any text costs.
//
// Watches from a separate X connection, so neither program is changed or slowed by the
// measurement: every new top-level window gets a DAMAGE object, and a window counts as painted
// once the region drawn into it covers the whole window (Qt leaves a window's background unset,
// so mapping alone draws nothing). The time it was mapped is shown beside it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Event = std::unique_ptr<xcb_generic_event_t, decltype(&free)>;

// One Xvfb for the whole run; -displayfd tells which display it took.
class Xvfb {
  public:
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) std::exit(1);
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                   "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes the number and its newline apart, and ends itself when the newline finds
        // the pipe closed: read up to the newline.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) {
            std::fputs("Xvfb did not start\n", stderr);
            std::exit(1);
        }
        display_ = ":" + number;
    }
    ~Xvfb() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

struct Started {
    double mappedMs = 0.0;
    double paintedMs = 0.0;
    int width = 0;
    int height = 0;
};

class Watcher {
  public:
    explicit Watcher(const std::string& display) : x_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(x_) != 0) Fail("no connection to Xvfb");
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(x_, &xcb_damage_id);
        if (damage == nullptr || damage->present == 0) Fail("Xvfb has no DAMAGE extension");
        damageNotify_ = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(x_, xcb_damage_query_version(x_, 1, 1), nullptr));
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(x_, screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(x_);
    }
    ~Watcher() { xcb_disconnect(x_); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Starts `argv` in `directory`, waits until its first window is painted in full; then ends it.
    Started Time(const std::vector<std::string>& argv, const std::string& display,
                 const std::string& directory) {
        const auto t0 = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            if (chdir(directory.c_str()) != 0) _exit(126);
            setenv("DISPLAY", display.c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        const auto since = [t0] {
            return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        };
        Started started;
        std::vector<xcb_damage_damage_t> damages;
        for (bool painted = false; !painted;) {
            Event event(nullptr, &free);
            try {
                event = Next(child);
            } catch (...) {
                kill(child, SIGTERM);
                waitpid(child, nullptr, 0);
                throw;
            }
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                // Before the window can be mapped, let alone painted: nothing drawn is missed.
                const auto* create = reinterpret_cast<xcb_create_notify_event_t*>(event.get());
                damages.push_back(xcb_generate_id(x_));
                xcb_damage_create(x_, damages.back(), create->window, XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
                xcb_flush(x_);
            } else if (type == XCB_MAP_NOTIFY && started.mappedMs == 0.0) {
                started.mappedMs = since();
            } else if (type == damageNotify_) {
                // The bounding box of all drawn so far; the first paint fills the whole window.
                const auto* damage = reinterpret_cast<xcb_damage_notify_event_t*>(event.get());
                if (damage->area.width >= damage->geometry.width &&
                    damage->area.height >= damage->geometry.height) {
                    started.paintedMs = since();
                    started.width = damage->geometry.width;
                    started.height = damage->geometry.height;
                    painted = true;
                }
            }
        }
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        for (const xcb_damage_damage_t damage : damages) xcb_damage_destroy(x_, damage);
        // Drop the notices of the windows just closed (and the errors for damage objects whose
        // window had already gone with them).
        Sync();
        for (xcb_generic_event_t* e; (e = xcb_poll_for_event(x_)) != nullptr;) free(e);
        return started;
    }

  private:
    // Thrown, so that Xvfb and the program under test are ended on the way out.
    [[noreturn]] static void Fail(const char* why) { throw std::runtime_error(why); }
    // The next event; a program that shows nothing within 20 s, or ends, fails the run.
    Event Next(pid_t child) {
        for (int idle = 0;;) {
            if (xcb_generic_event_t* e = xcb_poll_for_event(x_); e != nullptr) return Event(e, &free);
            if (xcb_connection_has_error(x_) != 0) Fail("lost the connection to Xvfb");
            if (waitpid(child, nullptr, WNOHANG) == child) Fail("the program ended before painting a window");
            pollfd fd{xcb_get_file_descriptor(x_), POLLIN, 0};
            if (poll(&fd, 1, 100) == 0 && ++idle > 200) Fail("no window painted within 20 s");
        }
    }
    void Sync() { free(xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr)); }

    xcb_connection_t* x_;
    uint8_t damageNotify_ = 0;
};

struct Series {
    std::string name;
    std::vector<std::string> argv;
    std::vector<double> mapped;
    std::vector<double> painted;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Times every program alternately with the yardstick and prints the table.
void Measure(const Xvfb& xvfb, const std::string& scratch, int starts, std::vector<Series>& programs) {
    Watcher watcher(xvfb.display());
    // The first program's window size decides the yardstick's.
    const Started first = watcher.Time(programs.front().argv, xvfb.display(), scratch);
    const std::string width = std::to_string(first.width);
    const std::string height = std::to_string(first.height);
    Series yardstick{"minimal Qt Widgets window", {MINIMAL_WINDOW, width, height}, {}, {}};
    // Not a goal: what the first text in a window costs (font set-up, one font, its glyphs),
    // which the yardstick never pays and a panel of texts cannot avoid.
    programs.push_back(
        {"minimal window, one label \"0.00 V\"", {MINIMAL_WINDOW, width, height, "0.00 V"}, {}, {}});
    for (const Series& p : programs) watcher.Time(p.argv, xvfb.display(), scratch);  // all warmed up alike
    watcher.Time(yardstick.argv, xvfb.display(), scratch);
    for (int i = 0; i < starts; ++i) {
        for (Series& p : programs) {
            for (Series* s : {&p, &yardstick}) {
                const Started t = watcher.Time(s->argv, xvfb.display(), scratch);
                s->mapped.push_back(t.mappedMs);
                s->painted.push_back(t.paintedMs);
            }
        }
    }

    const double m = Median(yardstick.painted);
    std::printf("Start to first painted window, %dx%d, median of %d alternating starts under one Xvfb:\n",
                first.width, first.height, starts);
    std::printf("  %-40s %10s %10s %8s\n", "", "painted", "(mapped)", "ratio");
    for (const Series& s : programs) {
        const double p = Median(s.painted);
        std::printf("  %-40s %7.1f ms %7.1f ms %6.2f x\n", s.name.c_str(), p, Median(s.mapped), p / m);
    }
    std::printf("  %-40s %7.1f ms %7.1f ms\n", yardstick.name.c_str(), m, Median(yardstick.mapped));
}

}  // namespace

int main(int argc, char** argv) {
    const int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    std::vector<Series> programs;
    for (int i = 2; i < argc; ++i) {
        // Started from a scratch folder, so a relative path would no longer find it.
        programs.push_back({argv[i], {std::filesystem::absolute(argv[i]).string()}, {}, {}});
    }
    if (programs.empty()) programs.push_back({"kwd2steuerung", {KWD2_PROGRAM}, {}, {}});
    const Xvfb xvfb;
    std::string scratch = (std::filesystem::temp_directory_path() / "kwd2start.XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) return 1;
    try {
        Measure(xvfb, scratch, starts, programs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "start_bench: %s\n", e.what());
        std::filesystem::remove_all(scratch);
        return 1;
    }
    std::filesystem::remove_all(scratch);
    return 0;
}
