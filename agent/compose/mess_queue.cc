#include "agent/compose/mess_queue.h"

#include <cstdint>
#include <string>

#include "agent/db/statement.h"
#include "agent/db/statement_text.h"

bool CMessQueue::SetMess(MessRecord& record) {
  if (channel_ == nullptr) return false;
  // The longest call: every text field full of apostrophes, each doubled.
  char call[2 * sizeof(MessRecord) + 128];
  const bool built = FormatStatement(
      call, "SetMess", "{?=CALL qorvu.dbo.cp_wc_mess_set(%d,%d,%d,'%s','%s','%s','%s')}",
      record.clientId, record.refId, record.type, SqlQuote(FieldText(record.extra)).c_str(),
      SqlQuote(FieldText(record.openId)).c_str(), SqlQuote(FieldText(record.param)).c_str(),
      SqlQuote(FieldText(record.url)).c_str());
  std::int32_t iid = -1;
  if (built) CallProcedure(connection_, call, iid);
  record.iid = iid;
  return iid > 0;
}

bool CMessQueue::FindOpenId(std::string_view phone1, std::string_view phone2, char* out,
                            std::size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  // Shorter numbers are extensions or fragments that no binding can match.
  constexpr std::size_t kShortestPhone = 7;
  std::string numbers;
  for (std::string_view phone : {phone1, phone2}) {
    if (phone.size() < kShortestPhone) continue;
    if (!numbers.empty()) numbers += ',';
    numbers.append("'").append(SqlQuote(phone)).append("'");
  }
  if (numbers.empty()) return false;

  char query[512];
  if (!FormatStatement(query, "FindOpenId",
                       "SELECT copenid FROM qorvu.dbo.wc_bind WHERE cphone IN(%s)",
                       numbers.c_str())) {
    return false;
  }
  DbStatement statement;
  if (!statement.Allocate(connection_) || !statement.Execute(query)) return false;
  char openId[32] = {};
  if (!statement.BindText(1, openId) || !statement.Fetch()) return false;
  CopyField(out, size, FieldText(openId));
  return out[0] != '\0';
}
