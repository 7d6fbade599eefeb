// Splits arbitrary bytes as a request and decodes its parameters the way the
// dispatcher does; also decodes the bytes directly as a parameter text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "http/request.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  fwk::request_shape(text);

  fwk::RequestLine line = fwk::split_request_line(text.data());
  line.query = fwk::split_query(line.path);
  if (char* parameters = fwk::find_parameter_text(line)) {
    fwk::parse_form_data(fwk::kRequestReserved, parameters, std::strlen(parameters),
                         fwk::kRequestFreeSlots);
  }

  std::string direct(reinterpret_cast<const char*>(data), size);
  fwk::ParamListPtr list = fwk::parse_form_data(3, direct.data(), std::strlen(direct.c_str()), 64);
  // Decoding never grows a text.
  fwk::plist_each(list.get(), [&](const fwk::Pair& pair) {
    if (!pair.name->empty() && pair.value && pair.value->size() > size) __builtin_trap();
  });
  return 0;
}
