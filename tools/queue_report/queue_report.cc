#include "tools/queue_report/queue_report.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "agent/db/connection.h"
#include "agent/db/statement.h"
#include "agent/text/encoding.h"

bool ReadQueueCounts(const DbConnection& connection, QueueCounts* counts) {
  *counts = QueueCounts{};
  DbStatement st;
  if (!st.Allocate(connection) ||
      !st.Execute("SELECT ntype, nstate, COUNT(*) FROM qorvu.dbo.wc_mess GROUP BY ntype, nstate")) {
    return false;
  }
  std::int32_t type = 0;
  std::int32_t state = 0;
  std::uint32_t rows = 0;
  if (!st.BindInt32(1, type) || !st.BindInt32(2, state) || !st.BindUInt32(3, rows)) return false;
  while (st.Fetch()) {
    if (type < 0 || type >= kMessTypeCount) {
      counts->unknownType += rows;
    } else if (state == 0) {
      counts->pending[static_cast<std::size_t>(type)] += rows;
    } else {
      counts->other[static_cast<std::size_t>(type)] += rows;
    }
  }
  return st.LastResult() == SQL_NO_DATA;
}

std::string FormatQueueCounts(const QueueCounts& counts) {
  std::string out;
  std::uint32_t pending = 0;
  std::uint32_t other = 0;
  for (int type = 0; type < kMessTypeCount; ++type) {
    const std::uint32_t p = counts.pending[static_cast<std::size_t>(type)];
    const std::uint32_t o = counts.other[static_cast<std::size_t>(type)];
    pending += p;
    other += o;
    if (p == 0 && o == 0) continue;
    char name[64] = {};
    GbkToUtf8(TypeName(type), name, sizeof name);
    // A GBK character is as wide on a terminal as its two bytes: pad by those.
    const std::size_t width = std::strlen(TypeName(type));
    const std::string padding(width < 24 ? 24 - width : 0, ' ');
    char line[200];
    std::snprintf(line, sizeof line, "%3d %s%s pending %6u  done %6u\n", type, name,
                  padding.c_str(), p, o);
    out += line;
  }
  char total[128];
  std::snprintf(total, sizeof total, "    total                    pending %6u  done %6u\n", pending,
                other);
  out += total;
  if (counts.unknownType > 0) {
    std::snprintf(total, sizeof total, "    rows of unknown type: %u\n", counts.unknownType);
    out += total;
  }
  return out;
}
