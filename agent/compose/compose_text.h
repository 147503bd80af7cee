// Text helpers shared by the composition sources: walking GBK text by whole
// characters, bounded cuts and replacements, and the markup reader of the
// message-model file. Not part of the module's interface.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace compose_text {

// Length of the GBK character at text[pos]: 2 for a lead byte (0x81..0xFE)
// with a byte after it, else 1.
inline std::size_t GbkUnitLength(std::string_view text, std::size_t pos) {
  const auto b = static_cast<unsigned char>(text[pos]);
  return b >= 0x81 && b <= 0xFE && pos + 1 < text.size() ? 2 : 1;
}

// The longest length of at most maxBytes at which text can end without
// splitting a GBK double-byte character or a character reference ("&#20013;").
std::size_t GbkCutLength(std::string_view text, std::size_t maxBytes);

// Finds `what` in GBK text at a character start, from byte `from` on (which
// must itself be a character start); npos when absent.
std::size_t GbkFind(std::string_view text, std::string_view what, std::size_t from = 0);

// Replaces every occurrence of `from` (found at character starts in GBK text,
// or anywhere when gbk is false) in the zero-terminated field of `size` bytes
// by `to`. Occurrences are taken left to right and the search goes on after
// each inserted text. When the result would not fit the field, the field is
// left unchanged and the result is false.
bool ReplaceInField(char* field, std::size_t size, std::string_view from, std::string_view to,
                    bool gbk);

// Removes tab, LF, CR, space and the ideographic space (A1 A1) at both ends.
std::string_view TrimSpaces(std::string_view text);

// Markup to plain text: "&nbsp;" and "&#160;" become spaces, comments and
// script elements go, every tag ("<" and a letter, "/" or "?", up to ">")
// becomes a space, "&amp;" "&lt;" "&gt;" "&quot;" are decoded, white-space
// runs become one space and the ends are trimmed (ideographic spaces too).
std::string PlainText(std::string_view text);

// The plain text of element `name` of a block: after the first <name> (or
// the first <name ...> with attributes) up to the next </name>, without a
// CDATA wrapper. Empty when the element is missing, unclosed, or its raw
// content (less the 12 bytes of a CDATA wrapper) is longer than limit.
std::string ReadElement(std::string_view block, std::string_view name, std::size_t limit);

}  // namespace compose_text
