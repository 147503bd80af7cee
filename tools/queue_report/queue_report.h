// Counts of the queued notifications in qorvu.dbo.wc_mess by type and state,
// for operators and the demo.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "agent/compose/mess_types.h"

class DbConnection;

struct QueueCounts {
  std::array<std::uint32_t, kMessTypeCount> pending{};  // nstate 0
  std::array<std::uint32_t, kMessTypeCount> other{};    // sent or any other state
  std::uint32_t unknownType = 0;                        // rows whose ntype is out of range
};

// Reads the counts on an open connection. False when the query fails.
bool ReadQueueCounts(const DbConnection& connection, QueueCounts* counts);

// One line per type that has rows ("  2 签收通知  pending 5  done 0"), then a
// total line; texts as UTF-8 for a terminal.
std::string FormatQueueCounts(const QueueCounts& counts);
