// Rendering a model's parameter texts with the values of one notification.
#pragma once

#include <vector>

#include "agent/compose/mess_record.h"

// Replaces the {variables} of each of the model's parameter texts by the
// pieces of record.param (the value list, each value followed by "|") and
// appends one MessValue per parameter to out, in the model's order.
// Returns the number appended, or -1 (out untouched) when the value list
// has fewer pieces than the record's type needs. A "|" that is the second
// byte of a GBK character does not separate values.
// A value that would outgrow its 512 bytes is cut at a character boundary
// (a GBK character or a character reference is never split).
int RenderValues(const MessRecord& record, const MessModel& model, std::vector<MessValue>& out);
