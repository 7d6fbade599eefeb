#include "collect/response_order.hpp"

#include <openssl/evp.h>

#include "core/text_util.hpp"

namespace fwk {

Verdict response_verdict(const ResponseVersion* live, const ResponseVersion& incoming) {
  if (live == nullptr) return Verdict::stored;
  if (live->content == incoming.content) return Verdict::copy;
  if (incoming.saved != live->saved) {
    return incoming.saved > live->saved ? Verdict::stored : Verdict::older;
  }
  return incoming.content > live->content ? Verdict::stored : Verdict::older;
}

bool response_name_is_stamp(std::string_view name) {
  for (const char* stamp : {"HOST", "DATE", "TIME"}) {
    if (name.size() == 4 && text_compare_nocase_n(std::string(name).c_str(), stamp, 4) == 0)
      return true;
  }
  return false;
}

void digest_part(std::string& text, std::string_view part) {
  text += std::to_string(part.size());
  text += ':';
  text += part;
}

std::string response_content_key(const std::vector<ResponseEntry>& entries) {
  std::string text;
  for (const ResponseEntry& entry : entries) {
    if (response_name_is_stamp(entry.first)) continue;
    digest_part(text, entry.first);
    digest_part(text, entry.second);
  }
  return content_digest(text);
}

std::string content_digest(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += digits[digest[i] >> 4];
    text += digits[digest[i] & 15];
  }
  return text;
}

}  // namespace fwk
