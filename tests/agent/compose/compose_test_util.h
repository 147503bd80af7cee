// Helpers of the composition tests: texts in the agent's GBK written
// readably as UTF-8 in the test source (tests/gbk_text.h), and a sample
// WeChat_Mess.txt.
#pragma once

#include <string>
#include <string_view>

#include "tests/gbk_text.h"

namespace compose_test {

using gbk_text::Convert;
using gbk_text::Gbk;
using gbk_text::Utf8;

inline constexpr char kOpenId[] = "oAbCdEfGhIjKlMnOpQrStUvWxYz0";  // 28 characters

// A usable WeChat_Mess.txt (UTF-8 here; tests convert it) with the given blocks.
inline std::string MessDefineFile(std::string_view blocks, std::string_view extraKeys = "") {
  std::string text =
      "服务器=api.weixin.qq.com\r\n端口=443\r\n是SSL=1\r\n"
      "appid=wx1234567890abcdef\r\nsecret=0123456789abcdef0123456789abcdef\r\n";
  text.append(extraKeys);
  text.append(blocks);
  return text;
}

// One <MESS_DEFINE> block.
inline std::string Block(std::string_view name, std::string_view body, std::string_view params,
                         std::string_view tempId = "TMPL-0001", std::string_view url = "") {
  std::string b = "<MESS_DEFINE>\r\n<NAME>";
  b.append(name).append("</NAME>\r\n<TEMP_ID>").append(tempId).append("</TEMP_ID>\r\n");
  if (!url.empty()) b.append("<URL>").append(url).append("</URL>\r\n");
  b.append("<MODEL>").append(body).append("</MODEL>\r\n<PARAM>\r\n").append(params);
  b.append("\r\n</PARAM>\r\n</MESS_DEFINE>\r\n");
  return b;
}

}  // namespace compose_test
