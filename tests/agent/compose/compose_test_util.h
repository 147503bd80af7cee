// Helpers of the composition tests: texts in the agent's GBK written
// readably as UTF-8 in the test source and converted with the C library's
// iconv (an oracle independent of the agent's own tables), and a sample
// WeChat_Mess.txt.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace compose_test {

inline std::string Convert(std::string_view text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<iconv unavailable>";
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* o = out.data();
  std::size_t outLeft = out.size();
  const std::size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return "<not convertible>";
  out.resize(out.size() - outLeft);
  return out;
}

// UTF-8 source text as the agent's GBK.
inline std::string Gbk(std::string_view utf8) { return Convert(utf8, "GBK", "UTF-8"); }
// GBK text as UTF-8, for readable expectations.
inline std::string Utf8(std::string_view gbk) { return Convert(gbk, "UTF-8", "GBK"); }

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
