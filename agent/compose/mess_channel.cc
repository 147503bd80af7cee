#include "agent/compose/mess_channel.h"

#include <cstring>
#include <string>

#include "agent/compose/compose_text.h"
#include "agent/compose/mess_types.h"
#include "agent/compose/render.h"
#include "agent/host/config/config_text.h"
#include "agent/host/log/daily_log.h"
#include "agent/text/encoding.h"
#include "agent/text/json.h"

CMessChannel g_messChannel;

namespace {

using compose_text::GbkFind;
using compose_text::GbkUnitLength;
using compose_text::PlainText;
using compose_text::ReadElement;
using compose_text::ReplaceInField;
using compose_text::TrimSpaces;

// --- WeChat_Mess.txt ---
constexpr std::string_view kKeyPort = "\xB6\xCB\xBF\xDA=";                   // 端口=
constexpr std::string_view kKeySsl = "\xCA\xC7SSL=";                         // 是SSL=
constexpr std::string_view kKeyHost = "\xB7\xFE\xCE\xF1\xC6\xF7=";           // 服务器=
constexpr std::string_view kKeyAppId = "appid=";
constexpr std::string_view kKeySecret = "secret=";
constexpr std::string_view kKeyOpenIdPrefix = "OpenID\xC7\xB0\xD7\xBA=";     // OpenID前缀=

constexpr std::string_view kDefineOpen = "<MESS_DEFINE>";
constexpr std::string_view kDefineClose = "</MESS_DEFINE>";
constexpr std::string_view kModelOpen = "<MODEL>";
constexpr std::string_view kModelClose = "</MODEL>";
constexpr std::string_view kParamOpen = "<PARAM>";
constexpr std::string_view kParamClose = "</PARAM>";

constexpr std::size_t kNameLimit = 60;
constexpr std::size_t kTemplateIdLimit = 63;
constexpr std::size_t kUrlLimit = 255;
constexpr std::size_t kMinBody = 10;
constexpr std::size_t kMaxBody = 2046;
constexpr std::size_t kMaxParamName = 31;
constexpr std::size_t kMaxParamText = 510;

constexpr const char* kModelLogTag = "_WCInit";

// --- SMS_SET_4S.txt ---
constexpr std::string_view kKeySmsAccount = "\xD5\xCA\xBA\xC5=";             // 帐号=
constexpr std::string_view kKeySmsPassword = "\xC3\xDC\xC2\xEB=";            // 密码=
constexpr std::string_view kKeySmsHost = "\xB7\xFE\xCE\xF1\xC6\xF7\xCD\xF8\xD6\xB7=";  // 服务器网址=
constexpr std::string_view kKeySmsPort = "\xB7\xFE\xCE\xF1\xC6\xF7\xB6\xCB\xBF\xDA=";  // 服务器端口=
constexpr std::string_view kKeySmsPath =
    "\xB6\xCC\xD0\xC5\xB7\xA2\xCB\xCD\xBD\xD3\xBF\xDA=";  // 短信发送接口=
constexpr std::string_view kKeySmsParams =
    "\xB6\xCC\xD0\xC5\xB7\xA2\xCB\xCD\xB2\xCE\xCA\xFD=";  // 短信发送参数=
constexpr std::string_view kKeySmsSuccessMark =
    "\xB6\xCC\xD0\xC5\xB7\xA2\xCB\xCD\xB3\xC9\xB9\xA6\xB1\xEA\xBC\xC7=";  // 短信发送成功标记=
constexpr std::string_view kKeySmsSignature =
    "\xB6\xCC\xD0\xC5\xB9\xCC\xB6\xA8\xC7\xA9\xC3\xFB=";  // 短信固定签名=
constexpr std::string_view kKeySmsSignSource =
    "\xCA\xFD\xD7\xD6\xC7\xA9\xC3\xFB\xD4\xAD\xCE\xC4=";  // 数字签名原文=
constexpr std::string_view kSmsUtf8Mark =
    "\xD7\xD6\xB7\xFB\xBC\xAF\xB1\xE0\xC2\xEB=UTF-8";  // 字符集编码=UTF-8
constexpr int kDefaultSmsPort = 80;

// --- composition results ---
constexpr std::string_view kNoModel = "\xCE\xDE\xC4\xA3\xB0\xE5\xB6\xA8\xD2\xE5!";  // 无模板定义!
constexpr std::string_view kNoValues =
    "\xCE\xB4\xC4\xDC\xBD\xE2\xCE\xF6\xB3\xF6\xB1\xE4\xC1\xBF!";  // 未能解析出变量!
constexpr std::string_view kTextTooLong =
    "\xCF\xFB\xCF\xA2\xCE\xC4\xB1\xBE\xB3\xAC\xB3\xA4!";  // 消息文本超长!
constexpr std::string_view kJsonTooLong =
    "\xC4\xA3\xB0\xE5\xCF\xFB\xCF\xA2JSON\xB3\xAC\xB3\xA4!";  // 模板消息JSON超长!

constexpr std::size_t kSmsValueUtf8Limit = 1020;

std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

// A key's value into a field, with the length range the field allows.
template <std::size_t N>
void ReadKey(std::string_view text, std::string_view key, char (&field)[N], std::size_t minLen,
             std::size_t maxLen) {
  GetKeyValue(key, text, field, N, minLen, maxLen, true);
}

// An integer key; fallback when the key is absent or its value empty.
int ReadIntKey(std::string_view text, std::string_view key, int fallback) {
  char value[256];
  if (GetKeyValue(key, text, value, sizeof value, 1, sizeof value - 1, true) == 0) return fallback;
  return ReadDecimal(value);
}

// A UTF-16LE file (after its byte-order mark) as GBK text, with references
// for the characters GBK cannot hold.
std::string Utf16LeToGbk(std::string_view bytes) {
  const std::size_t units = bytes.size() / 2;
  std::u16string wide(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) {
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  std::string gbk(8 * units + 256, '\0');
  WideToGbkRefs(wide.c_str(), gbk.data(), gbk.size(), true);
  gbk.resize(std::strlen(gbk.c_str()));
  return gbk;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// One PARAM line; false when the line is not a usable parameter.
bool ReadParamLine(std::string_view line, MessModelParam& param) {
  while (!line.empty() && static_cast<unsigned char>(line.front()) >= 1 &&
         static_cast<unsigned char>(line.front()) <= 32) {
    line.remove_prefix(1);
  }
  const std::string plain = PlainText(line);
  const std::size_t eq = plain.find('=');
  if (eq == std::string::npos) return false;
  const std::string_view name = std::string_view(plain).substr(0, eq);
  std::string_view text = std::string_view(plain).substr(eq + 1);
  std::string_view color;
  const std::size_t hash = text.rfind('#');
  if (hash != std::string_view::npos && text.size() - hash == 7) {
    bool hex = true;
    for (std::size_t i = hash + 1; i < text.size(); ++i) hex = hex && IsHexDigit(text[i]);
    if (hex) {
      color = text.substr(hash);
      text = text.substr(0, hash);
    }
  }
  if (name.empty() || name.size() > kMaxParamName || text.size() > kMaxParamText) return false;
  CopyField(param.name, name);
  CopyField(param.text, text);
  CopyField(param.color, color);
  return true;
}

// The raw text between the first `open` and the next `close`; false when
// either is missing.
bool Section(std::string_view block, std::string_view open, std::string_view close,
             std::string_view& out) {
  const std::size_t start = block.find(open);
  if (start == std::string_view::npos) return false;
  const std::size_t end = block.find(close, start + open.size());
  if (end == std::string_view::npos) return false;
  out = block.substr(start + open.size(), end - start - open.size());
  return true;
}

// A parameter name as a JSON member name. Names as WeChat uses them
// ("first", "keyword1") are written as they stand; a name that a JSON text
// could not carry verbatim (quotes, backslashes, control or GBK bytes) is
// converted and escaped like a string value, so the body stays valid JSON.
bool AppendMemberName(JsonWriter& json, const char* name) {
  bool verbatim = true;
  for (const char* p = name; *p != '\0'; ++p) {
    const auto b = static_cast<unsigned char>(*p);
    if (b < 0x20 || b >= 0x7F || b == '"' || b == '\\') verbatim = false;
  }
  if (verbatim) return json.Append("\"") && json.Append(name) && json.Append("\"");
  char member[6 * sizeof(MessValue::name) + 16];
  JsonWriter escaped(member, sizeof member);
  if (!escaped.String("n", name, false)) return false;
  std::string_view written = escaped.text();  // "n":"..."
  written.remove_prefix(4);
  return json.Append(written);
}

// Builds the template-message JSON into record.param. False when it would
// not fit.
bool WriteTemplateJson(MessRecord& record, const MessModel& model,
                       const std::vector<MessValue>& values) {
  JsonWriter json(record.param, sizeof record.param);
  json.Append("{");
  json.String("touser", record.openId, true);
  json.String("template_id", model.templateId, true);
  const char* url = record.url[0] != '\0' ? record.url : model.url;
  if (url[0] != '\0') json.String("url", url, true);
  json.Append("\"data\":{");
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) json.Append(",");
    AppendMemberName(json, values[i].name);
    json.Append(":{");
    json.String("value", values[i].value, true);
    json.String("color", model.params[i].color, false);
    json.Append("}");
  }
  json.Append("}}");
  return json.ok();
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The numeric character reference at text[i]: "&#" and a decimal number of
// 10..65535 (its ";" may be missing), or "&#x" and exactly two or four
// hexadecimal digits and ";". Returns the units it spans (ch = its
// character), or 0 when there is none.
std::size_t NumericRefAt(std::u16string_view text, std::size_t i, char16_t& ch) {
  if (text.substr(i, 2) != u"&#" || i + 2 >= text.size()) return 0;
  if (text[i + 2] == u'x') {
    for (std::size_t digits : {std::size_t{2}, std::size_t{4}}) {
      const std::size_t semi = i + 3 + digits;
      if (semi >= text.size() || text[semi] != u';') continue;
      long value = 0;
      bool hex = true;
      for (std::size_t k = i + 3; k < semi && hex; ++k) {
        const int h = HexValue(text[k]);
        hex = h >= 0;
        value = value * 16 + h;
      }
      if (hex && value > 0) {
        ch = static_cast<char16_t>(value);
        return semi + 1 - i;
      }
    }
    return 0;
  }
  std::size_t k = i + 2;
  long value = 0;
  while (k < text.size() && text[k] >= u'0' && text[k] <= u'9' && value <= 65535) {
    value = value * 10 + (text[k] - u'0');
    ++k;
  }
  if (k == i + 2 || value < 10 || value > 65535) return 0;
  ch = static_cast<char16_t>(value);
  if (k < text.size() && text[k] == u';') ++k;
  return k - i;
}

// Decodes the numeric character references of a UTF-16 text.
void DecodeNumericRefs(std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char16_t ch = 0;
    const std::size_t n = text[i] == u'&' ? NumericRefAt(text, i, ch) : 0;
    if (n > 0) {
      out.push_back(ch);
      i += n;
    } else {
      out.push_back(text[i++]);
    }
  }
  text.swap(out);
}

// GBK text as UTF-8 with its numeric character references decoded.
std::string GbkToUtf8(std::string_view gbk) {
  std::u16string wide(gbk.size() + 1, u'\0');
  const std::string copy(gbk);
  wide.resize(ToWide(copy.c_str(), wide.data(), wide.size(), kCodePageGbk));
  DecodeNumericRefs(wide);
  std::string utf8(3 * wide.size() + 1, '\0');
  utf8.resize(ToUtf8(wide.c_str(), utf8.data(), utf8.size()));
  return utf8;
}

// The placeholder "{{name.DATA}}" of a parameter, in a buffer of the caller.
class Placeholder {
 public:
  explicit Placeholder(std::string_view name) {
    constexpr std::string_view kOpen = "{{";
    constexpr std::string_view kClose = ".DATA}}";
    if (kOpen.size() + name.size() + kClose.size() >= sizeof text_) return;  // never matches
    char* p = text_;
    for (std::string_view part : {kOpen, name, kClose}) {
      if (!part.empty()) std::memcpy(p, part.data(), part.size());
      p += part.size();
    }
    length_ = static_cast<std::size_t>(p - text_);
  }
  std::string_view view() const { return {text_, length_}; }

 private:
  // Names are at most 63 bytes here; converted to UTF-8 at most 3 bytes each per 2.
  char text_[2 * sizeof(MessValue::name) + 16];
  std::size_t length_ = 0;
};

int Fail(MessRecord& record, std::string_view reason) {
  CopyField(record.result, reason);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- WeChat_Mess.txt

void CMessChannel::ClearWeChat() {
  valid = false;
  host[0] = appid[0] = secret[0] = openIdPrefix[0] = '\0';
  port = 0;
  ssl = false;
  models_.clear();
}

bool CMessChannel::LoadMessDefine(std::string_view file) {
  ClearWeChat();
  std::string converted;
  std::string_view text;
  if (file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0xFF &&
      static_cast<unsigned char>(file[1]) == 0xFE) {
    converted = Utf16LeToGbk(file.substr(2));
    text = converted;
  } else {
    text = UpToZero(file);
  }

  port = ReadIntKey(text, kKeyPort, 0);
  ssl = ReadIntKey(text, kKeySsl, 0) == 1;
  ReadKey(text, kKeyHost, host, 4, 63);
  ReadKey(text, kKeyAppId, appid, 1, 67);
  ReadKey(text, kKeySecret, secret, 1, 67);
  ReadKey(text, kKeyOpenIdPrefix, openIdPrefix, 1, 15);
  valid = appid[0] != '\0' && secret[0] != '\0';
  if (!valid) return false;

  std::size_t from = 0;
  while (true) {
    const std::size_t open = text.find(kDefineOpen, from);
    if (open == std::string_view::npos) break;
    const std::size_t start = open + kDefineOpen.size();
    const std::size_t close = text.find(kDefineClose, start);
    if (close == std::string_view::npos) break;
    LoadModel(text.substr(start, close - start));
    from = close + kDefineClose.size();
  }
  return valid;
}

void CMessChannel::LoadModel(std::string_view block) {
  if (block.find(kModelOpen) == std::string_view::npos ||
      block.find(kParamOpen) == std::string_view::npos) {
    return;
  }
  MessModel model;
  const std::string name = ReadElement(block, "NAME", kNameLimit);
  model.type = TypeFromName(name);
  if (model.type < 0) return;
  const std::string templateId = ReadElement(block, "TEMP_ID", kTemplateIdLimit);
  if (templateId.empty()) return;
  CopyField(model.templateId, templateId);
  CopyField(model.url, ReadElement(block, "URL", kUrlLimit));

  std::string_view body;
  if (!Section(block, kModelOpen, kModelClose, body)) return;
  body = TrimSpaces(body);
  if (body.size() < kMinBody || body.size() > kMaxBody) return;
  CopyField(model.body, body);

  std::string_view lines;
  if (!Section(block, kParamOpen, kParamClose, lines)) return;
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    MessModelParam param;
    if (ReadParamLine(lines.substr(0, end), param)) model.params.push_back(param);
    if (end == std::string_view::npos) break;
    lines.remove_prefix(end + 1);
  }
  if (model.params.empty()) return;

  models_.push_back(std::move(model));
  g_log.WriteRaw(name.c_str(), kModelLogTag, true);
}

const MessModel* CMessChannel::FindModel(int type) const {
  for (const MessModel& model : models_) {
    if (model.type == type) return &model;
  }
  return nullptr;
}

// ---------------------------------------------------------------- recipients

bool CMessChannel::IsOpenId(std::string_view text) const {
  constexpr std::size_t kOpenIdLength = 28;
  if (text.size() != kOpenIdLength) return false;
  const std::string_view prefix = FieldText(openIdPrefix);
  return text.substr(0, prefix.size()) == prefix;
}

bool CMessChannel::PickOpenId(std::string_view first, std::string_view second, char* out,
                              std::size_t size) const {
  if (size == 0) return false;
  out[0] = '\0';
  for (std::string_view candidate : {first, second}) {
    if (IsOpenId(candidate) && candidate.size() < size) return CopyField(out, size, candidate);
  }
  return false;
}

// ---------------------------------------------------------------- composing

int CMessChannel::MadeJsMess(MessRecord& record) const {
  const MessModel* model = FindModel(record.type);
  if (model == nullptr) return Fail(record, kNoModel);
  std::vector<MessValue> values;
  values.reserve(model->params.size());
  if (RenderValues(record, *model, values) <= 0) return Fail(record, kNoValues);

  CopyField(record.text, FieldText(model->body));
  record.param[0] = '\0';

  if (IsOpenId(FieldText(record.openId))) {
    if (!WriteTemplateJson(record, *model, values)) {
      record.param[0] = record.text[0] = '\0';
      return Fail(record, kJsonTooLong);
    }
    for (const MessValue& v : values) {
      if (!ReplaceInField(record.text, sizeof record.text, Placeholder(FieldText(v.name)).view(),
                          FieldText(v.value), true)) {
        record.param[0] = record.text[0] = '\0';
        return Fail(record, kTextTooLong);
      }
    }
    return 1;
  }

  // A mobile recipient: the SMS text in UTF-8, placeholders included.
  const std::string body = GbkToUtf8(FieldText(model->body));
  if (!CopyField(record.text, body)) {
    record.text[0] = '\0';
    return Fail(record, kTextTooLong);
  }
  for (const MessValue& v : values) {
    char value[kSmsValueUtf8Limit + 4];
    FieldToUtf8(v.value, value, sizeof value, static_cast<int>(kSmsValueUtf8Limit));
    const std::string_view name = FieldText(v.name);
    const std::string utf8Name = IsAscii(v.name) ? std::string() : GbkToUtf8(name);
    const Placeholder placeholder(IsAscii(v.name) ? name : std::string_view(utf8Name));
    if (!ReplaceInField(record.text, sizeof record.text, placeholder.view(), value, false)) {
      record.text[0] = '\0';
      return Fail(record, kTextTooLong);
    }
  }
  return 1;
}

// ---------------------------------------------------------------- SMS_SET_4S.txt

void CMessChannel::ClearSms() {
  smsEnabled = -1;
  smsAccount[0] = smsPassword[0] = smsHost[0] = smsPath[0] = smsParams[0] = '\0';
  smsSuccessMark[0] = smsSignature[0] = smsSignSource[0] = '\0';
  smsPort = kDefaultSmsPort;
  smsSsl = false;
  smsSuccessIsNumber = false;
  smsUtf8 = false;
}

void CMessChannel::LoadSmsSet(std::string_view file) {
  ClearSms();
  const std::string_view text = UpToZero(file);
  ReadKey(text, kKeySmsAccount, smsAccount, 1, 63);
  ReadKey(text, kKeySmsPassword, smsPassword, 1, 63);
  ReadKey(text, kKeySmsHost, smsHost, 4, 254);
  smsPort = ReadIntKey(text, kKeySmsPort, kDefaultSmsPort);
  smsSsl = ReadIntKey(text, kKeySsl, 0) == 1;
  ReadKey(text, kKeySmsPath, smsPath, 1, 254);
  ReadKey(text, kKeySmsParams, smsParams, 4, 510);
  ReadKey(text, kKeySmsSuccessMark, smsSuccessMark, 1, 30);
  ReadKey(text, kKeySmsSignature, smsSignature, 1, 30);
  ReadKey(text, kKeySmsSignSource, smsSignSource, 4, 254);

  // The mark may stand anywhere; its ASCII letters in any case. Searched by
  // whole characters, so a GBK trail byte never starts a match.
  for (std::size_t i = 0; i + kSmsUtf8Mark.size() <= text.size() && !smsUtf8;
       i += GbkUnitLength(text, i)) {
    bool same = true;
    for (std::size_t k = 0; k < kSmsUtf8Mark.size() && same; ++k) {
      char a = text[i + k];
      char b = kSmsUtf8Mark[k];
      if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
      same = a == b;
    }
    smsUtf8 = same;
  }

  if (smsHost[0] != '\0' && smsPath[0] != '\0' && smsSuccessMark[0] != '\0' &&
      smsParams[0] != '\0' && smsPort > 0) {
    smsSuccessIsNumber = true;
    for (const char* p = smsSuccessMark; *p != '\0'; ++p) {
      smsSuccessIsNumber = smsSuccessIsNumber && *p >= '0' && *p <= '9';
    }
    smsEnabled = 1;
  }
}
