// LoadMessDefine over arbitrary file contents, then every loaded model
// composed for a WeChat and a mobile recipient: nothing may crash, and every
// fixed-size field must stay zero-terminated inside its bounds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "agent/compose/mess_channel.h"

namespace {

template <std::size_t N>
void CheckField(const char (&field)[N]) {
  if (std::memchr(field, '\0', N) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CMessChannel channel;
  const bool valid =
      channel.LoadMessDefine(std::string_view(reinterpret_cast<const char*>(data), size));
  if (valid != channel.valid) std::abort();
  if (!valid && channel.ModelCount() != 0) std::abort();
  CheckField(channel.host);
  CheckField(channel.appid);
  CheckField(channel.secret);
  CheckField(channel.openIdPrefix);

  for (const MessModel& model : channel.Models()) {
    if (model.type < 0 || model.type > 24 || model.templateId[0] == '\0' || model.params.empty())
      std::abort();
    CheckField(model.templateId);
    CheckField(model.url);
    CheckField(model.body);
    const std::size_t body = std::strlen(model.body);
    if (body < 10 || body > 2046) std::abort();
    for (const MessModelParam& p : model.params) {
      CheckField(p.name);
      CheckField(p.text);
      CheckField(p.color);
      if (p.name[0] == '\0' || std::strlen(p.text) > 510) std::abort();
    }
    for (const char* recipient : {"oAbCdEfGhIjKlMnOpQrStUvWxYz0", "13800000000"}) {
      MessRecord record;
      record.type = model.type;
      CopyField(record.openId, recipient);
      // Enough pieces for every type, one of them a long reference-laden value.
      std::string_view list =
          "a|&#20013;&#x4E2D;|\xD6\xD0\x96|q|r|s|t|u|v|w|x|y|z|0|1|2|3|4|5|6|7|8|";
      std::memcpy(record.param, list.data(), list.size());
      const int made = channel.MadeJsMess(record);
      if (made != 0 && made != 1) std::abort();
      CheckField(record.text);
      CheckField(record.param);
      CheckField(record.result);
    }
  }
  return 0;
}
