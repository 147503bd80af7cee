#include "agent/host/workers.h"

#include <openssl/ssl.h>

#include <csignal>
#include <cstdio>
#include <memory>

#include "agent/db/connection.h"
#include "agent/db/statement.h"
#include "agent/host/config/settings.h"
#include "agent/host/log/daily_log.h"
#include "agent/scanners/scanners.h"

platform::Event g_evWorker(platform::Event::Reset::kAuto, false);
int g_nPackLastHour = 0;
int g_nArrearsLastHour = 0;

namespace {

// Gives the worker token back when the worker leaves, whatever the path.
class TokenReturn {
 public:
  TokenReturn() = default;
  ~TokenReturn() { g_evWorker.Set(); }
  TokenReturn(const TokenReturn&) = delete;
  TokenReturn& operator=(const TokenReturn&) = delete;
};

void LogElapsed(const char* format, platform::Env* env, std::uint64_t start) {
  char line[64];
  std::snprintf(line, sizeof line, format, static_cast<unsigned>(env->TickCount() - start));
  g_log.Write(line);
}

}  // namespace

namespace {

// The chain calls every scanner the same way; these adapt the scanners that
// take no kind.
template <int (*Scan)(DbConnection&, char*, DbConnection&)>
int WithoutKind(DbConnection& first, char* work, DbConnection& second, int) {
  return Scan(first, work, second);
}

}  // namespace

const std::vector<ScannerStep>& DefaultScannerChain() {
  static const std::vector<ScannerStep> chain = {
      {"Update_Error", WithoutKind<Update_Error>},
      {"Update_Bear", WithoutKind<Update_Bear>},
      {"Update_Sign", WithoutKind<Update_Sign>},
      {"Update_Take", WithoutKind<Update_Take>},
      {"Update_TransRsv", WithoutKind<Update_TransRsv>},
      {"Update_RecWeb", WithoutKind<Update_RecWeb>},
      {"Update_TransSend", WithoutKind<Update_TransSend>},
      {"Update_TransPack", WithoutKind<Update_TransPack>, 0, &g_adwPackTimes, &g_nPackLastHour, 18},
      {"Update_AcArrears", WithoutKind<Update_AcArrears>, 0, &g_adwArrearsTimes,
       &g_nArrearsLastHour, 20},
      {"Update_TransWork", WithoutKind<Update_TransWork>},
      {"Update_Send", WithoutKind<Update_Send>},
      {"Update_Check", Update_Check, 1},
      {"Update_Check", Update_Check, 0},
      {"Update_Check", Update_Check, 2},
  };
  return chain;
}

int xNeedUpdate(const std::vector<std::uint32_t>& times, int& lastHour, unsigned id,
                platform::Env* env) {
  const platform::LocalTime t = env->LocalNow();
  if (t.hour * 10000 == lastHour) return 0;  // already admitted in this hour
  if (t.minute == 59) return 0;
  const std::uint32_t now = static_cast<std::uint32_t>(t.hour * 10000 + t.minute * 100 + t.second);
  for (std::uint32_t time : times) {
    if (now >= time && static_cast<std::uint32_t>(t.hour) == time / 10000) {
      char line[64];
      std::snprintf(line, sizeof line, "%u:%u(%u<%u)*", id, time, now,
                    static_cast<unsigned>(lastHour));
      g_log.Write(line, "xNeedUpdate");
      lastHour = t.hour * 10000;
      return 1;
    }
  }
  return 0;
}

bool SendWindowOpen(const char* begin, const char* end, const platform::LocalTime& now) {
  if (begin[0] == '\0' && end[0] == '\0') return true;
  char clock[8];  // "HH:MM"
  std::snprintf(clock, sizeof clock, "%02d:%02d", now.hour, now.minute);
  const std::string_view current = clock;
  // string_view compares bytes as unsigned values, like the texts are meant.
  return (begin[0] == '\0' || std::string_view(begin) < current) &&
         (end[0] == '\0' || current < std::string_view(end));
}

int MessUpdateProc(const std::vector<ScannerStep>& chain, platform::Env* env) {
  TokenReturn token;
  g_log.Write("***Begin MessUpdateProc");
  const std::uint64_t start = env->TickCount();

  DbConnection first;
  if (!first.Open()) return 0;
  // The second connection is not checked: statements on it fail and are
  // reported by the scanners that use it.
  DbConnection second;
  second.Open();

  auto work = std::make_unique<char[]>(kWorkBufferSize);  // zero-filled
  for (const ScannerStep& step : chain) {
    if (step.gateTimes != nullptr &&
        !xNeedUpdate(*step.gateTimes, *step.gateLastHour, step.gateId, env)) {
      continue;  // not due: counts as done
    }
    if (step.fn(first, work.get(), second, step.kind) < 0) break;
  }
  work.reset();
  first.Close();
  second.Close();
  LogElapsed("*****End MessUpdateProc ok!Time:%u ms", env, start);
  return 0;
}

int MessSendProc(const SendJob& send, platform::Env* env) {
  TokenReturn token;
  g_log.Write("***Begin MessSendProc");
  const std::uint64_t start = env->TickCount();

  DbConnection connection;
  if (!connection.Open()) return 0;
  {
    auto work = std::make_unique<char[]>(kWorkBufferSize);  // zero-filled
    if (send) send(connection, work.get(), kWorkBufferSize);
  }
  connection.Close();
  LogElapsed("*****End MessSendProc ok!Time:%u ms", env, start);
  return 0;
}

int LoadDictionarySettings() {
  DbConnection connection;
  if (!connection.Open()) return 0;
  char value[128];
  value[0] = '\0';
  bool found = false;
  {
    DbStatement st;
    if (!st.Allocate(connection)) return 0;
    if (st.Execute("SELECT dcvalue FROM qorvu.dbo.sys_dict WHERE dcname='55'") &&
        st.BindText(1, value)) {
      found = st.Fetch();
    }
  }
  if (found && value[0] == '1') {
    g_szDetailSuffix[0] = '_';
    g_szDetailSuffix[1] = 'e';
    g_szDetailSuffix[2] = 'n';
    g_szDetailSuffix[3] = '\0';
  }
  return 1;
}

int InitNetwork() {
  std::signal(SIGPIPE, SIG_IGN);
  return OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                          nullptr) == 1
             ? 1
             : 0;
}
