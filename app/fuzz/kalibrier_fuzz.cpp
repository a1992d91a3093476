// Arbitrary bytes as a calibration file, loaded through the panel's load operation (the file
// dialog answered by the test seam). Aborts when the code is not the one the bytes call for,
// when a refused file changed the panel, or when a loaded file's factors are not what the
// panel shows, bit for bit.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"

namespace {

std::string dateiName;

void Unbeantwortet(const std::string&, const std::string&) {
    std::abort();
}

int ErwarteterCode(const uint8_t* data, size_t size) {
    if (size < 200) return -304209;
    const char* kennung = reinterpret_cast<const char*>(data);
    const void* null = std::memchr(kennung, '\0', 32);
    const size_t laenge = null ? static_cast<size_t>(static_cast<const char*>(null) - kennung) : 32;
    if (std::string(kennung, laenge) != "zel kwd2test kal") return -302210;
    const std::uint32_t version = data[32] | data[33] << 8 | data[34] << 16 | std::uint32_t{data[35]} << 24;
    return version == 1 ? 0 : -303211;
}

bool Gleich(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

std::array<double, 20> Panel() {
    Kalibrierdatensatz satz{};
    KalibrierfelderLesen(&satz);
    return satz.faktoren;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char vorlage[] = "/tmp/kalibrier_fuzz_XXXXXX";
    if (mkdtemp(vorlage) == nullptr) std::abort();
    std::filesystem::current_path(vorlage);
    dateiName = std::string(vorlage) + "/kal.kwd";
    std::atexit([] {
        std::error_code ignoriert;
        std::filesystem::remove_all(std::filesystem::path(dateiName).parent_path(), ignoriert);
    });
    static char name[] = "kwd2steuerung";
    static char* argumente[] = {name, nullptr};
    if (ProgrammStarten(1, argumente) != 0) std::abort();
    uitest::EnablePopupTestMode();
    uitest::SetUnansweredPopupHandler(Unbeantwortet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::ofstream(dateiName, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Kalibrierdatensatz vorher{};
    for (size_t i = 0; i < vorher.faktoren.size(); ++i) vorher.faktoren[i] = 0.5 + static_cast<double>(i);
    KalibrierfelderSetzen(&vorher);
    const std::array<double, 20> panelVorher = Panel();

    uitest::QueueFileAnswer(VAL_EXISTING_FILE_SELECTED, dateiName);
    const int code = DateiLesen();
    uitest::ClearShownPopups();
    if (code != ErwarteterCode(data, size)) std::abort();

    const std::array<double, 20> panel = Panel();
    for (size_t i = 0; i < panel.size(); ++i) {
        double erwartet = panelVorher[i];
        if (code == 0) std::memcpy(&erwartet, data + 40 + 8 * i, sizeof erwartet);  // little-endian host
        if (!Gleich(panel[i], erwartet)) std::abort();
    }
    return 0;
}
