#include <openssl/evp.h>

#include "openapi/md5.h"

namespace quill::openapi {

std::optional<std::array<std::uint8_t, 16>> Md5Digest(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1 || length != 16)
    return std::nullopt;
  std::array<std::uint8_t, 16> out;
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = digest[i];
  return out;
}

}  // namespace quill::openapi
