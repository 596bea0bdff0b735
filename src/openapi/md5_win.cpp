// MD5 through the Windows cryptography functions (CNG).

#include <windows.h>
// after windows.h, which they build on
#include <bcrypt.h>

#include <vector>

#include "openapi/md5.h"

namespace quill::openapi {

namespace {

struct Algorithm {
  BCRYPT_ALG_HANDLE handle = nullptr;
  ~Algorithm() {
    if (handle) ::BCryptCloseAlgorithmProvider(handle, 0);
  }
};

struct Hash {
  BCRYPT_HASH_HANDLE handle = nullptr;
  ~Hash() {
    if (handle) ::BCryptDestroyHash(handle);
  }
};

}  // namespace

std::optional<std::array<std::uint8_t, 16>> Md5Digest(std::string_view bytes) {
  if (bytes.size() > 0xFFFFFFFFu) return std::nullopt;
  Algorithm algorithm;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm.handle, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
    return std::nullopt;
  // Windows 7 wants the hash object's memory from the caller.
  DWORD object_size = 0, got = 0;
  if (!BCRYPT_SUCCESS(::BCryptGetProperty(algorithm.handle, BCRYPT_OBJECT_LENGTH,
                                          reinterpret_cast<PUCHAR>(&object_size), sizeof object_size, &got,
                                          0)))
    return std::nullopt;
  std::vector<UCHAR> object(object_size);
  Hash hash;
  std::array<std::uint8_t, 16> out;
  // Hashing reads the input only.
  auto* input = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
  if (!BCRYPT_SUCCESS(
          ::BCryptCreateHash(algorithm.handle, &hash.handle, object.data(), object_size, nullptr, 0, 0)) ||
      !BCRYPT_SUCCESS(::BCryptHashData(hash.handle, input, static_cast<ULONG>(bytes.size()), 0)) ||
      !BCRYPT_SUCCESS(::BCryptFinishHash(hash.handle, out.data(), static_cast<ULONG>(out.size()), 0)))
    return std::nullopt;
  return out;
}

}  // namespace quill::openapi
