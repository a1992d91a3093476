#include "driver/kalibrierdatensatz.h"

#include <bit>
#include <cstring>
#include <string_view>

namespace kalibrierung {

namespace {

// identification 0..31, version 32..35, padding 36..39, factors 40..199.
constexpr std::size_t kVersionOffset = 32;
constexpr std::size_t kFaktorOffset = 40;

void LittleEndianSchreiben(unsigned char* ziel, std::uint64_t wert, int bytes) {
    for (int i = 0; i < bytes; ++i) ziel[i] = static_cast<unsigned char>(wert >> (8 * i));
}

std::uint64_t LittleEndianLesen(const unsigned char* quelle, int bytes) {
    std::uint64_t wert = 0;
    for (int i = 0; i < bytes; ++i) wert |= static_cast<std::uint64_t>(quelle[i]) << (8 * i);
    return wert;
}

}  // namespace

Kalibrierdatensatz NeuerDatensatz() {
    Kalibrierdatensatz satz{};
    std::memcpy(satz.kennung, kKennung, std::strlen(kKennung) + 1);
    satz.version = kVersion;
    return satz;
}

Datei Serialisieren(const Kalibrierdatensatz& satz) {
    Datei datei{};
    std::memcpy(datei.data(), satz.kennung, sizeof satz.kennung);
    LittleEndianSchreiben(&datei[kVersionOffset], static_cast<std::uint32_t>(satz.version), 4);
    for (std::size_t i = 0; i < satz.faktoren.size(); ++i) {
        LittleEndianSchreiben(&datei[kFaktorOffset + 8 * i], std::bit_cast<std::uint64_t>(satz.faktoren[i]),
                              8);
    }
    return datei;
}

Kalibrierdatensatz Deserialisieren(const Datei& datei) {
    Kalibrierdatensatz satz{};
    std::memcpy(satz.kennung, datei.data(), sizeof satz.kennung);
    satz.version =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(LittleEndianLesen(&datei[kVersionOffset], 4)));
    for (std::size_t i = 0; i < satz.faktoren.size(); ++i) {
        satz.faktoren[i] = std::bit_cast<double>(LittleEndianLesen(&datei[kFaktorOffset + 8 * i], 8));
    }
    return satz;
}

bool KennungStimmt(const Kalibrierdatensatz& satz) {
    const void* ende = std::memchr(satz.kennung, '\0', sizeof satz.kennung);
    const std::size_t laenge = ende != nullptr
                                   ? static_cast<std::size_t>(static_cast<const char*>(ende) - satz.kennung)
                                   : sizeof satz.kennung;
    return std::string_view(satz.kennung, laenge) == kKennung;
}

}  // namespace kalibrierung
