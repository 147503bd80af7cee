// Message digests written as hexadecimal text, for signing SMS requests.
#pragma once

#include <cstddef>

inline constexpr std::size_t kMd5HexSize = 33;     // 32 digits and the zero
inline constexpr std::size_t kSha256HexSize = 65;  // 64 digits and the zero

// MD5 of length bytes as 32 lower-case hexadecimal digits. Returns output.
char* DigestMd5Hex(const void* data, std::size_t length, char (&output)[kMd5HexSize]);
// SHA-256 of length bytes as 64 upper-case hexadecimal digits. Returns output.
char* DigestSha256Hex(const void* data, std::size_t length, char (&output)[kSha256HexSize]);
