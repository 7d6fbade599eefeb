// The response counter of a form with MAXRESPONSES: its ".respcount" file
// in the server root, a 32-bit little-endian count of the responses stored.
#pragma once

#include <cstdint>

#include "core/site.hpp"

namespace fwk {

// The count; 0 when the file is missing or short.
int response_count_read(const SiteContext& site, const char* form_name);

// Replaces the count durably. False (and logged) when it could not be
// written; the file then keeps its previous count.
bool response_count_write(const SiteContext& site, const char* form_name, int32_t count);

}  // namespace fwk
