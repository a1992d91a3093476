// Start-up time of the program against a minimal Qt Widgets program that opens one window of the
// same size: from fork to the X server mapping the first top-level window, both under one Xvfb,
// alternating, median of 20 starts each.
//
//   cmake --preset bench && cmake --build --preset bench --target start_bench kwd2steuerung &&
//   build/bench/bench/start/start_bench [starts] [program]
//
// `program` (default: the one built alongside) lets an older build be timed the same way.
//
// Watches the root window for MapNotify from a separate X connection, so neither program is
// changed or slowed by the measurement.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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
        char number[16] = {};
        const ssize_t got = read(fds[0], number, sizeof number - 1);
        close(fds[0]);
        if (got <= 0) {
            std::fputs("Xvfb did not start\n", stderr);
            std::exit(1);
        }
        display_ = ":" + std::string(number, static_cast<std::size_t>(got));
        display_.erase(display_.find_last_not_of("\n") + 1);
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
    double ms = 0.0;
    int width = 0;
    int height = 0;
};

// Starts `argv` in `directory` and waits for its first mapped top-level window; then ends it.
Started TimeStart(xcb_connection_t* x, const std::vector<std::string>& argv, const std::string& display,
                  const std::string& directory) {
    xcb_flush(x);
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
    Started started;
    for (xcb_generic_event_t* event; (event = xcb_wait_for_event(x)) != nullptr;) {
        const std::unique_ptr<xcb_generic_event_t, decltype(&free)> owned(event, &free);
        if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY) continue;
        started.ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
        const auto cookie = xcb_get_geometry(x, map->window);
        if (xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x, cookie, nullptr); g != nullptr) {
            started.width = g->width;
            started.height = g->height;
            free(g);
        }
        break;
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    // Drop the unmap and destroy notices of the window just closed.
    for (xcb_generic_event_t* e; (e = xcb_poll_for_event(x)) != nullptr;) free(e);
    return started;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string program = argc > 2 ? argv[2] : KWD2_PROGRAM;
    const Xvfb xvfb;
    xcb_connection_t* x = xcb_connect(xvfb.display().c_str(), nullptr);
    if (xcb_connection_has_error(x) != 0) return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);

    std::string scratch = (std::filesystem::temp_directory_path() / "kwd2start.XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) return 1;
    // The program's window size decides the yardstick's.
    const Started first = TimeStart(x, {program}, xvfb.display(), scratch);
    const std::vector<std::string> minimal{MINIMAL_WINDOW, std::to_string(first.width),
                                           std::to_string(first.height)};
    TimeStart(x, minimal, xvfb.display(), scratch);  // both warmed up alike
    std::vector<double> programMs;
    std::vector<double> yardstick;
    for (int i = 0; i < starts; ++i) {
        programMs.push_back(TimeStart(x, {program}, xvfb.display(), scratch).ms);
        yardstick.push_back(TimeStart(x, minimal, xvfb.display(), scratch).ms);
    }
    xcb_disconnect(x);
    std::filesystem::remove_all(scratch);
    const double p = Median(programMs);
    const double m = Median(yardstick);
    std::printf("Start to mapped window, %dx%d, median of %d alternating starts under one Xvfb:\n",
                first.width, first.height, starts);
    std::printf("  %-36s %8.1f ms\n  %-36s %8.1f ms\n  %-36s %8.2f x\n", "kwd2steuerung", p,
                "minimal Qt Widgets window", m, "ratio", p / m);
    return 0;
}
