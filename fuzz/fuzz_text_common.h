// Shared by the text fuzz targets: the input as a NUL-terminated copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The data with a zero after it (inner zeros end the text early, as in the agent).
inline std::vector<char> TerminatedCopy(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(size + 1, 0);
  if (size > 0) std::memcpy(text.data(), data, size);
  return text;
}
