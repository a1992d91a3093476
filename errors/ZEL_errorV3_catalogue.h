// The message catalogue behind ZEL_Fehlermeldung: one row per known error number, ascending.
#pragma once

#include <span>

namespace zel_error {

struct CatalogueRow {
    int number;           // error number, 0 to 1017
    const char* german;   // Latin-1 bytes
    const char* english;  // Latin-1 bytes
};

// All rows, sorted by number without duplicates.
std::span<const CatalogueRow> Catalogue();

}  // namespace zel_error
