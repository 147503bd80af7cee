// The queue operations of one worker cycle on one database connection:
// storing a notification as a pending row of qorvu.dbo.wc_mess, and finding
// the OpenID bound to a phone number. The object also carries what the
// senders of the same cycle share: the response buffer and the error text.
#pragma once

#include <cstddef>
#include <string_view>

#include "agent/compose/mess_channel.h"
#include "agent/compose/mess_record.h"
#include "agent/db/connection.h"

class CMessQueue {
 public:
  // Neither the channel (may be null), the connection nor the buffer is owned.
  CMessQueue(const CMessChannel* channel, const DbConnection& connection,
             char* response = nullptr, std::size_t responseSize = 0)
      : channel_(channel), connection_(connection), response_(response),
        responseSize_(responseSize) {}
  CMessQueue(const CMessQueue&) = delete;
  CMessQueue& operator=(const CMessQueue&) = delete;

  // Creates a pending row through qorvu.dbo.cp_wc_mess_set from the record's
  // clientId, refId, type, extra, openId, param and url; record.iid gets the
  // procedure's return value (-1 when the call failed). True when iid > 0.
  bool SetMess(MessRecord& record);

  // The OpenID bound to one of the two phone numbers in qorvu.dbo.wc_bind
  // (numbers of 6 bytes or fewer are not looked up; when both are that short
  // no statement is run). out is emptied first; true when one was found.
  bool FindOpenId(std::string_view phone1, std::string_view phone2, char* out,
                  std::size_t size);
  template <std::size_t N>
  bool FindOpenId(std::string_view phone1, std::string_view phone2, char (&out)[N]) {
    return FindOpenId(phone1, phone2, out, N);
  }

  const CMessChannel* channel() const { return channel_; }
  const DbConnection& connection() const { return connection_; }
  char* response() const { return response_; }
  std::size_t responseSize() const { return responseSize_; }

  // The words of the last failure of this cycle's senders.
  char errorText[256] = {};

 private:
  const CMessChannel* channel_;
  const DbConnection& connection_;
  char* response_;
  std::size_t responseSize_;
};
