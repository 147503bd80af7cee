// The fixed list of notification types: number, name and the least number
// of value-list pieces a record of that type must carry.
#pragma once

#include <string_view>

inline constexpr int kMessTypeCount = 25;

// The GBK name of a type ("签收通知" for 2), or "" for a number outside 0..24.
const char* TypeName(int type);
// The least number of value-list pieces of a type (the empty piece after the
// final "|" counts), or 0 for a number outside 0..24.
int TypeMinPieces(int type);
// The type whose name equals name byte for byte, or -1.
int TypeFromName(std::string_view name);
