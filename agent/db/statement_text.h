// Building statement texts in the fixed buffers of the calling operations.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

// Formats a statement text printf-style into buf. A text that would not fit
// (with its terminating zero) is refused whole, never cut: the result is
// false, buf is left empty and the log gets the line
// "statement <name> too long (<bytes> bytes, buffer <size>), not run".
// name is the short name of the operation, as in "Update_Sign".
bool FormatStatementV(char* buf, std::size_t size, const char* name, const char* fmt,
                      std::va_list args);

template <std::size_t N>
[[gnu::format(printf, 3, 4)]] bool FormatStatement(char (&buf)[N], const char* name,
                                                   const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  const bool fits = FormatStatementV(buf, N, name, fmt, args);
  va_end(args);
  return fits;
}

// Prepares a text value for a statement, where the format writes it between
// apostrophes ('%s'): removes white space (space, tab, CR, LF, vertical tab,
// form feed) at both ends and doubles every apostrophe.
std::string SqlQuote(std::string_view text);

// The same into a buffer of `size` bytes. A result that does not fit (with
// its terminating zero) is refused: false and out left empty, because a cut
// could split a doubled apostrophe and open the quoted value.
bool SqlQuote(std::string_view text, char* out, std::size_t size);

template <std::size_t N>
bool SqlQuote(std::string_view text, char (&out)[N]) {
  return SqlQuote(text, out, N);
}
