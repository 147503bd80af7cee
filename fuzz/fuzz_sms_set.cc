// LoadSmsSet over arbitrary file contents: the settings stay inside their
// fields and length ranges, and smsEnabled is 1 only for complete settings.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "agent/compose/mess_channel.h"

namespace {

template <std::size_t N>
std::size_t Length(const char (&field)[N]) {
  const void* zero = std::memchr(field, '\0', N);
  if (zero == nullptr) std::abort();
  return static_cast<std::size_t>(static_cast<const char*>(zero) - field);
}

// Empty, or a length within min..max.
template <std::size_t N>
void CheckRange(const char (&field)[N], std::size_t min, std::size_t max) {
  const std::size_t n = Length(field);
  if (n != 0 && (n < min || n > max)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CMessChannel channel;
  channel.LoadSmsSet(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckRange(channel.smsAccount, 1, 63);
  CheckRange(channel.smsPassword, 1, 63);
  CheckRange(channel.smsHost, 4, 254);
  CheckRange(channel.smsPath, 1, 254);
  CheckRange(channel.smsParams, 4, 510);
  CheckRange(channel.smsSuccessMark, 1, 30);
  CheckRange(channel.smsSignature, 1, 30);
  CheckRange(channel.smsSignSource, 4, 254);
  const bool complete = channel.smsHost[0] != '\0' && channel.smsPath[0] != '\0' &&
                        channel.smsSuccessMark[0] != '\0' && channel.smsParams[0] != '\0' &&
                        channel.smsPort > 0;
  if (channel.smsEnabled != (complete ? 1 : -1)) std::abort();
  return 0;
}
