#include "agent/db/statement_text.h"

#include <cstdio>
#include <cstring>

#include "agent/host/log/daily_log.h"

namespace {

bool IsQuoteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsQuoteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsQuoteSpace(text.back())) text.remove_suffix(1);
  return text;
}

void LogRefusal(const char* name, unsigned long long needed, std::size_t size) {
  char line[256];
  std::snprintf(line, sizeof line, "statement %s too long (%llu bytes, buffer %zu), not run",
                name != nullptr ? name : "?", needed, size);
  g_log.Write(line);
}

}  // namespace

bool FormatStatementV(char* buf, std::size_t size, const char* name, const char* fmt,
                      std::va_list args) {
  if (buf == nullptr || size == 0) return false;
  buf[0] = '\0';
  if (fmt == nullptr) return false;
  const int length = std::vsnprintf(buf, size, fmt, args);
  if (length < 0) {
    buf[0] = '\0';
    char line[256];
    std::snprintf(line, sizeof line, "statement %s could not be formatted, not run",
                  name != nullptr ? name : "?");
    g_log.Write(line);
    return false;
  }
  if (static_cast<unsigned long long>(length) >= size) {
    buf[0] = '\0';  // a cut statement must never run
    LogRefusal(name, static_cast<unsigned long long>(length) + 1, size);
    return false;
  }
  return true;
}

std::string SqlQuote(std::string_view text) {
  text = Trim(text);
  std::string quoted;
  quoted.reserve(text.size() + 8);
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted;
}

bool SqlQuote(std::string_view text, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return false;
  text = Trim(text);
  std::size_t used = 0;
  for (char c : text) {
    const std::size_t width = c == '\'' ? 2 : 1;
    if (size - 1 - used < width) {
      out[0] = '\0';
      return false;
    }
    out[used++] = c;
    if (width == 2) out[used++] = '\'';
  }
  out[used] = '\0';
  return true;
}
