// Composing one queued message (RenderValues and MadeJsMess) with a model
// as operators write them: a signed-for notice with five parameters. The
// baselines write output of the same size in the cheapest ways: a plain
// copy of the finished texts, and the JSON writer alone with the finished
// values; compare items_per_second of the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "agent/compose/mess_channel.h"
#include "agent/compose/render.h"
#include "agent/text/json.h"

namespace {

// WeChat_Mess.txt with one model of type 2 (签收通知), GBK.
const char kMessDefine[] =
    "appid=wx1234567890abcdef\r\nsecret=0123456789abcdef0123456789abcdef\r\n"
    "<MESS_DEFINE>\r\n<NAME>\xC7\xA9\xCA\xD5\xCD\xA8\xD6\xAA</NAME>\r\n"  // 签收通知
    "<TEMP_ID>ngqIpbwh8bUfcSsECmogfXcV14J0tQlEpBO27izEYtY</TEMP_ID>\r\n"
    "<URL>https://m.example.com/track?c=1</URL>\r\n"
    "<MODEL>{{first.DATA}}\r\n"
    "\xBF\xEC\xB5\xDD\xB5\xA5\xBA\xC5: {{keyword1.DATA}}\r\n"          // 快递单号:
    "\xC7\xA9\xCA\xD5\xC8\xCB: {{keyword2.DATA}}\r\n"                   // 签收人:
    "\xC7\xA9\xCA\xD5\xCA\xB1\xBC\xE4: {{keyword3.DATA}}\r\n"           // 签收时间:
    "{{remark.DATA}}</MODEL>\r\n"
    "<PARAM>\r\n"
    "first={\xBF\xCD\xBB\xA7\xC3\xFB\xB3\xC6}\xC4\xFA\xBA\xC3,"         // {客户名称}您好,
    "\xC4\xFA\xB5\xC4\xBF\xEC\xBC\xFE\xD2\xD1\xC7\xA9\xCA\xD5#173177\r\n"  // 您的快件已签收
    "keyword1={\xD4\xCB\xB5\xA5\xBA\xC5}({\xD7\xAA\xB5\xA5\xBA\xC5})\r\n"  // {运单号}({转单号})
    "keyword2={\xC7\xA9\xCA\xD5\xC8\xCB}\r\n"                             // {签收人}
    "keyword3={\xC7\xA9\xCA\xD5\xC8\xD5\xC6\xDA} {\xC7\xA9\xCA\xD5\xCA\xB1\xBC\xE4}\r\n"  // {签收日期} {签收时间}
    "remark=\xD3\xC9{\xB3\xF6\xB7\xA2\xB5\xD8}\xB7\xA2\xCD\xF9{\xC4\xBF\xB5\xC4\xB5\xD8},"  // 由{出发地}发往{目的地},
    "\xB8\xD0\xD0\xBB\xCA\xB9\xD3\xC3!#FF0000\r\n"                      // 感谢使用!
    "</PARAM>\r\n</MESS_DEFINE>\r\n";

// A type 2 value list as the signed-for scanner writes it.
const char kValues[] =
    "SF1001234567890|JD0098765432|03-05|\xC9\xCF\xBA\xA3|\xD5\xC5\xC8\xFD|03-06|10:30|"  // 上海 张三
    "\xC0\xEE\xCB\xC4|C001|\xC4\xB3\xC3\xB3\xD2\xD7\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE|"     // 李四 某贸易有限公司
    "\xB1\xB1\xBE\xA9|";                                                                   // 北京

const char kOpenId[] = "oAbCdEfGhIjKlMnOpQrStUvWxYz0";

struct Fixture {
  Fixture() { channel.LoadMessDefine(kMessDefine); }
  CMessChannel channel;
};

const Fixture& Shared() {
  static Fixture f;
  return f;
}

void Prepare(MessRecord& record, const char* recipient) {
  record.type = 2;
  CopyField(record.openId, recipient);
  CopyField(record.param, kValues);
}

void BM_MadeJsMessWeChat(benchmark::State& state) {
  const CMessChannel& channel = Shared().channel;
  if (channel.FindModel(2) == nullptr) state.SkipWithError("model not loaded");
  MessRecord record;
  for (auto _ : state) {
    Prepare(record, kOpenId);
    if (channel.MadeJsMess(record) != 1) state.SkipWithError("MadeJsMess failed");
    benchmark::DoNotOptimize(record.param);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["json_bytes"] = static_cast<double>(std::strlen(record.param));
  state.counters["text_bytes"] = static_cast<double>(std::strlen(record.text));
}
BENCHMARK(BM_MadeJsMessWeChat);

void BM_MadeJsMessSms(benchmark::State& state) {
  const CMessChannel& channel = Shared().channel;
  MessRecord record;
  for (auto _ : state) {
    Prepare(record, "13800000000");
    if (channel.MadeJsMess(record) != 1) state.SkipWithError("MadeJsMess failed");
    benchmark::DoNotOptimize(record.text);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MadeJsMessSms);

void BM_RenderValuesOnly(benchmark::State& state) {
  const CMessChannel& channel = Shared().channel;
  const MessModel* model = channel.FindModel(2);
  MessRecord record;
  Prepare(record, kOpenId);
  std::vector<MessValue> values;
  values.reserve(8);
  for (auto _ : state) {
    values.clear();
    benchmark::DoNotOptimize(RenderValues(record, *model, values));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderValuesOnly);

// Baseline 1: copying finished texts of the same sizes.
void BM_BaselineCopySameSize(benchmark::State& state) {
  MessRecord done;
  Prepare(done, kOpenId);
  Shared().channel.MadeJsMess(done);
  const std::string json = done.param;
  const std::string text = done.text;
  MessRecord record;
  for (auto _ : state) {
    Prepare(record, kOpenId);
    std::memcpy(record.param, json.data(), json.size() + 1);
    std::snprintf(record.text, sizeof record.text, "%s", text.c_str());
    benchmark::DoNotOptimize(record.param);
    benchmark::DoNotOptimize(record.text);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BaselineCopySameSize);

// Baseline 2: the JSON writer alone, with the values already rendered.
void BM_BaselineJsonWriterOnly(benchmark::State& state) {
  const MessModel* model = Shared().channel.FindModel(2);
  MessRecord source;
  Prepare(source, kOpenId);
  std::vector<MessValue> values;
  RenderValues(source, *model, values);
  MessRecord record;
  for (auto _ : state) {
    Prepare(record, kOpenId);
    JsonWriter json(record.param, sizeof record.param);
    json.Append("{");
    json.String("touser", record.openId, true);
    json.String("template_id", model->templateId, true);
    json.String("url", model->url, true);
    json.Append("\"data\":{");
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) json.Append(",");
      json.Append("\"");
      json.Append(values[i].name);
      json.Append("\":{");
      json.String("value", values[i].value, true);
      json.String("color", model->params[i].color, false);
      json.Append("}");
    }
    json.Append("}}");
    benchmark::DoNotOptimize(record.param);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BaselineJsonWriterOnly);

}  // namespace

BENCHMARK_MAIN();
