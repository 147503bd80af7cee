// Parsers for the agent's GBK configuration texts. They read an in-memory
// text (which ends at its first zero byte, as a file loaded into a
// zero-filled buffer does) and never write outside the buffers they are given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Finds "key" (its "=" included) at the start of a line of text and copies
// its value into dst (dstSize bytes, zero included). The value may be quoted
// with ' or "; an unquoted value ends before a "#" comment that follows a tab,
// or a space that itself follows a space or tab. trim removes bytes 1..32 at
// both ends. dst is empty (and 0 returned) when the key is missing or the
// value's length lies outside minLen..maxLen or would not fit dst.
std::size_t GetKeyValue(std::string_view key, std::string_view text, char* dst,
                        std::size_t dstSize, std::size_t minLen, std::size_t maxLen,
                        bool trim);

// The usual decimal reading: leading white space skipped, an optional sign,
// digits up to the first other character; no digits gives 0. Values beyond
// the int range are held at its ends.
int ReadDecimal(std::string_view text);

// Fills list (emptied first) from times "h[:m[:s]]" separated by ",", as
// h*10000 + m*100 + s in ascending order, duplicates kept. Empty pieces and
// pieces longer than 15 bytes are dropped. Returns the list's count.
int ParseTimeList(std::string_view text, std::vector<std::uint32_t>* list);

// Fills masks (emptied first) from the lines between "<短信号掩码开始>" and
// "<短信号掩码结束>"; lines of 6 to 20 bytes after trimming are kept. Without
// both markers the list stays empty. Returns the number of masks.
int ParseSmsMasks(std::string_view text, std::vector<std::string>* masks);
