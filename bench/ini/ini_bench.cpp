// Parse and write speed of the INI store against inih (parse only) and SimpleIni.
//
//   cmake --preset bench && cmake --build --preset bench --target ini_bench &&
//   build/bench/bench/ini/ini_bench
//
// Generates a 1 MB file with 10,000 items and a 10 MB file with 100,000 items, times each
// operation several times and prints the medians and their ratios. Our write includes the
// fsync that makes the replacement durable; a second row shows it without, for comparison.
#define SI_NO_CONVERSION  // plain bytes, as the store reads them
#include <SimpleIni.h>
#include <ini.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ini/ini_store.h"

namespace {
namespace fs = std::filesystem;
constexpr int kRuns = 7;

std::string Generate(int items, int valueLength) {
    std::string out;
    const int perSection = 100;
    for (int i = 0; i < items; ++i) {
        if (i % perSection == 0) out += "[Section" + std::to_string(i / perSection) + "]\r\n";
        std::string value(static_cast<size_t>(valueLength), 'v');
        const std::string n = std::to_string(i * 7919 % 1000003);
        value.replace(0, n.size(), n);
        char tag[32];
        std::snprintf(tag, sizeof tag, "Setting%06d", i);
        out += std::string(tag) + " = " + value + "\r\n";
    }
    return out;
}

double MedianMs(const std::function<void()>& run) {
    std::vector<double> ms;
    for (int r = 0; r < kRuns; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

int CountItem(void* user, const char*, const char*, const char*) {
    ++*static_cast<long*>(user);
    return 1;
}

int PutToFile(void* data, const char* line) {
    std::fputs(line, static_cast<std::FILE*>(data));
    std::fputs("\r\n", static_cast<std::FILE*>(data));
    return 0;
}

void Row(const char* what, double ours, double inih, double simple) {
    std::printf("%-28s %10.2f %10s %10.2f %12s %14.2f\n", what, ours,
                inih > 0 ? std::to_string(inih).substr(0, 6).c_str() : "-", simple,
                inih > 0 ? std::to_string(ours / inih).substr(0, 5).c_str() : "-", ours / simple);
}
}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "kwd2_ini_bench";
    fs::create_directories(dir);
    std::printf("%-28s %10s %10s %10s %12s %14s\n", "case (median ms)", "kwd2_ini", "inih", "SimpleIni",
                "kwd2/inih", "kwd2/SimpleIni");
    struct Case {
        const char* name;
        int items;
        int valueLength;
    };
    for (const Case c : {Case{"1 MB, 10,000 items", 10000, 80}, Case{"10 MB, 100,000 items", 100000, 80}}) {
        const fs::path in = dir / "in.ini";
        std::ofstream(in, std::ios::binary) << Generate(c.items, c.valueLength);
        std::printf("-- %s (%.1f MB)\n", c.name, static_cast<double>(fs::file_size(in)) / 1e6);

        const double oursParse = MedianMs([&] {
            IniDocument* d = Ini_New(0);
            Ini_ReadFromFile(d, in.c_str());
            Ini_Dispose(d);
        });
        const double oursParseSorted = MedianMs([&] {
            IniDocument* d = Ini_New(1);
            Ini_ReadFromFile(d, in.c_str());
            Ini_Dispose(d);
        });
        const double inihParse = MedianMs([&] {
            long n = 0;
            ini_parse(in.c_str(), CountItem, &n);
        });
        const double simpleParse = MedianMs([&] {
            CSimpleIniA ini;
            ini.LoadFile(in.c_str());
        });
        Row("parse", oursParse, inihParse, simpleParse);
        Row("parse, sorted document", oursParseSorted, inihParse, simpleParse);

        IniDocument* doc = Ini_New(0);
        Ini_ReadFromFile(doc, in.c_str());
        CSimpleIniA simple;
        simple.LoadFile(in.c_str());
        const fs::path out = dir / "out.ini";
        const double oursWrite = MedianMs([&] { Ini_WriteToFile(doc, out.c_str()); });
        const double oursWriteNoSync = MedianMs([&] {
            std::FILE* fp = std::fopen(out.c_str(), "wb");
            Ini_WriteGeneric(doc, PutToFile, fp);
            std::fclose(fp);
        });
        const double simpleWrite = MedianMs([&] { simple.SaveFile(out.c_str()); });
        Row("write (replace + fsync)", oursWrite, 0, simpleWrite);
        Row("write (plain stream)", oursWriteNoSync, 0, simpleWrite);
        Ini_Dispose(doc);
    }
    fs::remove_all(dir);
    return 0;
}
