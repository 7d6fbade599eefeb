// How hard the zip archives that libraries write here are compressed.
//
// libxlsxwriter packs a workbook's parts through minizip at zlib's default
// level, and for a large export that packing takes most of the time. This
// program defines minizip's entry point for adding a part; being the
// program's own, that definition comes first in the dynamic link, so the
// library's calls arrive there and go on to minizip with the level chosen
// here. Where the library carries its own copy of minizip the choice has no
// effect, and the archives are made as before.
#pragma once

namespace fwk {

// zlib's fastest level: parts about a fifth larger, packed about three
// times as fast; every reader reads them alike.
constexpr int kZipFastestLevel = 1;

// Packs the parts added from now on at `level` (1 to 9); -1 leaves the level
// to the library. Safe from any thread.
void zip_packing_set_level(int level);

}  // namespace fwk
