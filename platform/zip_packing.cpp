#include "platform/zip_packing.hpp"

#include <dlfcn.h>

#include <atomic>

namespace fwk {

namespace {

std::atomic<int> chosen_level{-1};

constexpr int kDeflated = 8;             // zlib's Z_DEFLATED
constexpr int kZipInternalError = -104;  // minizip's ZIP_INTERNALERROR

}  // namespace

void zip_packing_set_level(int level) {
  chosen_level.store(level);
}

}  // namespace fwk

// minizip's zipOpenNewFileInZip4_64, with the types of its header spelled
// out (zipFile is a pointer, uInt and uLong are unsigned int and long).
extern "C" int zipOpenNewFileInZip4_64(
    void* file, const char* filename, const void* zipfi, const void* extrafield_local,
    unsigned size_extrafield_local, const void* extrafield_global, unsigned size_extrafield_global,
    const char* comment, int method, int level, int raw, int window_bits, int mem_level,
    int strategy, const char* password, unsigned long crc_for_crypting,
    unsigned long version_made_by, unsigned long flag_base, int zip64) {
  using Entry = int (*)(void*, const char*, const void*, const void*, unsigned, const void*,
                        unsigned, const char*, int, int, int, int, int, int, const char*,
                        unsigned long, unsigned long, unsigned long, int);
  static const Entry minizip = reinterpret_cast<Entry>(dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
  if (minizip == nullptr) return fwk::kZipInternalError;
  int chosen = fwk::chosen_level.load();
  if (method == fwk::kDeflated && chosen > 0) level = chosen;
  return minizip(file, filename, zipfi, extrafield_local, size_extrafield_local, extrafield_global,
                 size_extrafield_global, comment, method, level, raw, window_bits, mem_level,
                 strategy, password, crc_for_crypting, version_made_by, flag_base, zip64);
}
