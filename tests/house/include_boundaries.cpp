// Keeps the layers apart: reads every #include of the program's modules and fails on one that
// crosses a forbidden boundary or names an operating-system header outside platform/ and sim/.
// Usage: include_boundaries SOURCE_ROOT
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Module {
    const char* name;
    std::vector<std::string> mayUse;  // besides itself and the standard library
    const char* rule;
};

// platform at the bottom; driver, ini, errors, record on it; ui, calc, cli, trend above those;
// app on top; the simulator on its own.
const std::array<Module, 11> kModules{{
    {"platform", {}, "platform is the bottom layer and includes no other module"},
    {"driver", {"platform"}, "driver may include platform only"},
    {"ini", {"platform"}, "ini may include platform only"},
    {"errors", {"platform"}, "errors may include platform only"},
    {"record", {"platform"}, "record may include platform only"},
    {"ui", {"platform"}, "ui may include platform only"},
    {"calc", {"ui", "platform"}, "calc may include ui and platform only"},
    {"cli",
     {"driver", "record", "errors", "platform"},
     "cli may include driver, record, errors, platform only"},
    {"trend", {"record", "platform"}, "trend may include record and platform only"},
    {"app",
     {"calc", "driver", "errors", "ini", "platform", "record", "trend", "ui"},
     "app may include every module but sim and cli"},
    {"sim", {}, "sim stands on its own: standard library and the system only"},
}};

// The one program header the simulator may share: dependency-free, header-only.
const std::array<std::string, 1> kSimMayInclude{"platform/wiretime.h"};

const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
const std::regex kSystemHeader(
    R"(^(unistd|fcntl|io|windows|winsock2?|ws2tcpip|direct|termios?|poll|dirent|signal|pthread|dlfcn|pwd|grp|)"
    R"(spawn|sched|semaphore|syslog|libgen|glob|fnmatch|netdb|aio|mqueue|utime|mntent)\.h$|)"
    R"(^(sys|linux|netinet|arpa|net|mach|asm)/)");

const Module* ModuleOf(const std::string& name) {
    const auto it =
        std::find_if(kModules.begin(), kModules.end(), [&](const Module& m) { return name == m.name; });
    return it == kModules.end() ? nullptr : &*it;
}

bool IsSource(const fs::path& p) {
    const std::string e = p.extension().string();
    return e == ".cpp" || e == ".h" || e == ".hpp" || e == ".cc";
}

// Everything below a module but its fuzz targets (and any test or bench folder kept beside).
bool Excluded(const fs::path& relative) {
    return std::any_of(relative.begin(), relative.end(), [](const fs::path& part) {
        return part == "fuzz" || part == "tests" || part == "bench";
    });
}

int CheckFile(const fs::path& root, const fs::path& file, const Module& module) {
    std::ifstream in(file);
    const std::string shown = fs::relative(file, root).generic_string();
    const bool mayUseSystem = module.name == std::string("platform") || module.name == std::string("sim");
    int faults = 0;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::smatch m;
        if (!std::regex_search(line, m, kInclude)) continue;
        const std::string header = m[2];
        const auto fail = [&](const std::string& rule) {
            std::cerr << shown << ":" << number << ": #include " << m[1] << header
                      << (m[1] == "<" ? ">" : "\"") << ": " << rule << "\n";
            ++faults;
        };
        if (m[1] == "<") {
            if (!mayUseSystem && std::regex_search(header, kSystemHeader))
                fail("operating-system headers belong in platform/ and sim/ only");
            continue;
        }
        const std::size_t slash = header.find('/');
        if (slash == std::string::npos) continue;  // a header beside the file
        const std::string target = header.substr(0, slash);
        if (target == module.name || ModuleOf(target) == nullptr) continue;
        if (module.name == std::string("sim") &&
            std::find(kSimMayInclude.begin(), kSimMayInclude.end(), header) != kSimMayInclude.end())
            continue;
        if (std::find(module.mayUse.begin(), module.mayUse.end(), target) == module.mayUse.end())
            fail(module.rule);
    }
    return faults;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: include_boundaries SOURCE_ROOT\n";
        return 2;
    }
    const fs::path root = argv[1];
    int faults = 0;
    int files = 0;
    for (const Module& module : kModules) {
        const fs::path dir = root / module.name;
        if (!fs::is_directory(dir)) {
            std::cerr << dir.string() << ": module folder missing\n";
            return 2;
        }
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            if (!entry.is_regular_file() || !IsSource(entry.path()) ||
                Excluded(fs::relative(entry.path(), dir)))
                continue;
            ++files;
            faults += CheckFile(root, entry.path(), module);
        }
    }
    std::cout << files << " files checked, " << faults << " forbidden includes\n";
    return faults == 0 && files > 0 ? 0 : 1;
}
