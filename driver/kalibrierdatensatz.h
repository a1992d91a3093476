// The 200-byte calibration record "Kalibrierdatensatz", in memory and as a "*.kwd" file
// (little-endian, IEEE 754), shared by the panel program and the command-line tool.
#pragma once

#include <array>
#include <cstdint>

struct Kalibrierdatensatz {
    char kennung[32];                 // "zel kwd2test kal", zero at offset 16
    std::int32_t version;             // always 1
    std::int32_t reserviert;          // padding before the doubles, no information
    std::array<double, 20> faktoren;  // gain and offset per channel, in register order
};
static_assert(sizeof(Kalibrierdatensatz) == 200, "calibration record must be exactly 200 bytes");

namespace kalibrierung {

inline constexpr std::size_t kDateiGroesse = 200;
inline constexpr const char* kKennung = "zel kwd2test kal";
inline constexpr std::int32_t kVersion = 1;
// The command-line argument that opens calibration access.
inline constexpr const char* kZugangsCode = "-p=Lomb7Quanxr";

using Datei = std::array<unsigned char, kDateiGroesse>;

// The twenty calibration registers in record order (the device's and the panel's order too).
inline constexpr std::array<const char*, 20> kRegister{
    "usoll_v",   "usoll_off", "uist_v",     "uist_off",   "isoll1_v",  "isoll1_off", "iist1_v",
    "iist1_off", "isoll2_v",  "isoll2_off", "iist2_v",    "iist2_off", "isoll3_v",   "isoll3_off",
    "iist3_v",   "iist3_off", "isoll4_v",   "isoll4_off", "iist4_v",   "iist4_off",
};

// A record with the identification text and version set and every factor 0.
Kalibrierdatensatz NeuerDatensatz();
// Explicit byte layout, so the file is the same whatever the host's byte order.
Datei Serialisieren(const Kalibrierdatensatz& satz);
Kalibrierdatensatz Deserialisieren(const Datei& datei);
// True when the identification text, up to its first zero byte, is exactly kKennung.
bool KennungStimmt(const Kalibrierdatensatz& satz);

}  // namespace kalibrierung
