#include "forms/response_counter.hpp"

#include <cstdio>
#include <string>

#include "core/connection.hpp"
#include "core/paths.hpp"
#include "core/status_log.hpp"
#include "platform/durable_file.hpp"

namespace fwk {

namespace {

constexpr const char* kCounterExtension = ".respcount";

}  // namespace

int response_count_read(const SiteContext& site, const char* form_name) {
  FilePtr file(path_open_binary(site.root.c_str(), form_name, kCounterExtension));
  unsigned char bytes[4] = {0, 0, 0, 0};
  if (!file || std::fread(bytes, 1, sizeof bytes, file.get()) != sizeof bytes) return 0;
  const uint32_t count = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                         static_cast<uint32_t>(bytes[2]) << 16 |
                         static_cast<uint32_t>(bytes[3]) << 24;
  return static_cast<int32_t>(count);
}

bool response_count_write(const SiteContext& site, const char* form_name, int32_t count) {
  const uint32_t value = static_cast<uint32_t>(count);
  const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                         static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  std::string path;
  path_join(site.root.c_str(), path, form_name, kCounterExtension);
  if (durable_replace(path.c_str(), bytes, sizeof bytes) == DurableResult::ok) return true;
  status_log(site_log(&site), "\nfwk: cannot write the response counter ");
  status_log(site_log(&site), path.c_str());
  return false;
}

}  // namespace fwk
