// The records of message composition: one model of WeChat_Mess.txt with its
// parameter lines, one notification in memory, one rendered parameter.
// Every text is GBK in a fixed-size field; the helpers below are the only
// writers they need, and each of them is bounded by the field's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

// Copies text into a field of `size` bytes. A text that does not fit (with
// its terminating zero) is cut to size - 1 bytes without splitting a GBK
// double-byte character. Returns false when it had to cut.
bool CopyField(char* field, std::size_t size, std::string_view text);
template <std::size_t N>
bool CopyField(char (&field)[N], std::string_view text) {
  return CopyField(field, N, text);
}

// The text of a field up to its zero (never past its end).
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  const void* zero = std::memchr(field, '\0', N);
  return std::string_view(field, zero ? static_cast<const char*>(zero) - field : N);
}

// One parameter line of a model: the WeChat template data key, its value
// template with {variables}, and its color ("#" and six hex digits, or "").
struct MessModelParam {
  char name[32] = {};   // 1..31 bytes
  char text[512] = {};  // at most 510 bytes
  char color[8] = {};
};

// One message model, the first of its type in file order being the one used.
struct MessModel {
  std::int32_t type = -1;       // 0..24
  char templateId[64] = {};     // never empty
  char url[256] = {};           // may be empty
  char body[2048] = {};         // 10..2046 bytes, with {{name.DATA}} placeholders
  std::vector<MessModelParam> params;  // at least one
};

// One notification in memory; producers zero-fill it (MessRecord{}) before use.
struct MessRecord {
  std::int32_t iid = 0;       // queue row id
  std::int32_t clientId = 0;  // customer id of the event
  std::int32_t refId = 0;     // business row that caused the notification
  std::int32_t type = 0;      // notification type 0..24
  char extra[32] = {};        // always empty here
  char openId[32] = {};       // a WeChat OpenID or a mobile number
  char result[64] = {};       // composition error text, or the delivery id
  char url[256] = {};         // per-notification link; empty: the model's
  char text[4096] = {};       // the rendered message text
  char param[4096] = {};      // value list when queued; the WeChat JSON after composing
};

// One rendered model parameter.
struct MessValue {
  char name[64] = {};
  char value[512] = {};
};
