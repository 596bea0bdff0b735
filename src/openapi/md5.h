#pragma once
// The MD5 digest, from the platform's cryptography library (md5_openssl.cpp,
// md5_win.cpp).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quill::openapi {

// The 16 digest bytes; nullopt when the library cannot compute it.
std::optional<std::array<std::uint8_t, 16>> Md5Digest(std::string_view bytes);

}  // namespace quill::openapi
