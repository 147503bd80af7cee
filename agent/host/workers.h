// The agent's two worker jobs and the checks around them: the update run
// (the scanner chain), the send run, the dictionary probe, the schedule gate
// of the two timed scanners and the daily send window.
//
// A worker owns its connections and its work buffer and gives the one-worker
// token g_evWorker back on every path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/env.h"
#include "platform/event.h"

class DbConnection;

// The one-worker token: signalled means free. Auto-reset, not signalled at
// process start; the run loop frees it once it starts scheduling.
extern platform::Event g_evWorker;
// Hour marks (hour * 10000) of the last hour in which each timed scanner was
// admitted; touched only by the update run.
extern int g_nPackLastHour;
extern int g_nArrearsLastHour;

// Size of the work buffer each worker hands to the scanners or the sender.
inline constexpr std::size_t kWorkBufferSize = 128000;

// One link of the update run's chain. The scanner returns the number of
// notifications it queued, or a negative value that ends the chain.
struct ScannerStep {
  using Fn = int (*)(DbConnection& first, char* work, DbConnection& second, int kind);
  const char* name;
  Fn fn;
  int kind = 0;  // passed through; only the check scanner reads it
  // Set for a timed scanner: it runs only when xNeedUpdate admits it.
  const std::vector<std::uint32_t>* gateTimes = nullptr;
  int* gateLastHour = nullptr;
  unsigned gateId = 0;  // the notification type, for the gate's log line
};

// The twelve scanners in their fixed order (the check scanner three times,
// kinds 1, 0, 2; the two timed scanners behind their time lists).
const std::vector<ScannerStep>& DefaultScannerChain();

// The send run's work on its connection (delivery of queued notifications).
using SendJob = std::function<void(DbConnection& connection, char* work, std::size_t size)>;

// 1 when a timed scanner is due now (and lastHour is moved to this hour),
// else 0. Logs each admission under the tag "xNeedUpdate".
int xNeedUpdate(const std::vector<std::uint32_t>& times, int& lastHour, unsigned id,
                platform::Env* env);

// Whether a send run may start at local time now: both bounds "HH:MM" and
// exclusive, an empty bound is open, the window never wraps past midnight.
bool SendWindowOpen(const char* begin, const char* end, const platform::LocalTime& now);

// The update run: two connections, the chain, the end line. Returns 0.
int MessUpdateProc(const std::vector<ScannerStep>& chain, platform::Env* env);
// The send run: one connection handed to send (when set). Returns 0.
int MessSendProc(const SendJob& send, platform::Env* env);

// Reads the tracking-detail suffix from the dictionary. 1 when the database
// could be queried, else 0.
int LoadDictionarySettings();

// Makes the process ready for network work: a peer closing a socket must not
// end the agent (SIGPIPE ignored) and the TLS library is initialised.
// Returns 1, or 0 when that fails.
int InitNetwork();
