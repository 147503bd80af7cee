// A shallow JSON writer and reader for the small request and answer bodies of
// the WeChat and SMS interfaces.
//
// The writer appends members to a caller buffer and converts every string
// value from the agent's text (GBK by default) to escaped UTF-8; callers write
// braces themselves. It never writes past the buffer: a member that does not
// fit whole is refused, and the buffer then holds the text up to the last
// complete member, zero-terminated.
//
// The reader does not parse structure: it finds the first occurrence of the
// quoted name anywhere in the text and returns the value after it as GBK.
#pragma once

#include <cstddef>
#include <string_view>

#include "agent/text/encoding.h"

struct JsonStringOptions {
  bool keepSlash = false;      // write "/" as is instead of "\u002F"
  bool linesAsSpaces = false;  // drop CR and write LF as a space instead of escaping them
};

// Writes into buffer[0, size): at most size - 1 bytes of text and its zero.
// Once a call is refused the writer stays refused: every later call returns
// false and writes nothing, so a chain of calls can be checked once at the end.
class JsonWriter {
 public:
  JsonWriter(char* buffer, std::size_t size) noexcept;

  // Appends text unchanged (braces, commas, a name written by the caller).
  bool Append(std::string_view text);
  // "name":"value" with value converted from codePage (936 GBK, 65001 UTF-8,
  // 1200, 51932, 20932) and escaped; a null value writes "name":null. A comma
  // follows when comma is set.
  bool String(std::string_view name, const char* value, bool comma,
              unsigned codePage = kCodePageGbk, JsonStringOptions options = {});
  // "name":number, or "name":"number" when quoted; a comma follows when set.
  bool Int(std::string_view name, int number, bool comma, bool quoted = false);

  bool ok() const { return ok_; }
  std::size_t length() const { return length_; }
  std::string_view text() const { return {buffer_, length_}; }
  char* position() const { return buffer_ + length_; }

 private:
  bool Put(std::string_view bytes);
  bool Refuse(std::size_t memberStart);

  char* buffer_;
  std::size_t size_;
  std::size_t length_ = 0;
  bool ok_;
};

// Chainable forms over [pos, end): each returns the position of the zero it
// wrote, or nullptr when the member did not fit (pos then holds a zero) or pos
// was already nullptr, so
//   p = JsonString(p, end, ...); p = JsonInt(p, end, ...); if (!p) fail;
// JsonAppend of an empty text writes nothing, not even a zero, and returns pos.
char* JsonAppend(char* pos, char* end, std::string_view text);
char* JsonString(char* pos, char* end, std::string_view name, const char* value, bool comma,
                 unsigned codePage = kCodePageGbk);
char* JsonInt(char* pos, char* end, std::string_view name, int number, bool comma,
              bool quoted = false);

// Reads the value of the first "name" in text (up to its first zero) into out
// as GBK text of at most max bytes, never ending inside a double-byte
// character; out must have room for max + 1 bytes. An absent member, null, an
// empty string, or a malformed value give an empty out. Returns out's length.
std::size_t JsonGetString(std::string_view name, std::string_view text, char* out,
                          std::size_t max);
// The leading decimal number of the member's value (quoted or not), saturated
// to the int range; defaultValue when the value is empty or absent.
int JsonGetInt(std::string_view name, std::string_view text, int defaultValue);
