// The agent's process-wide settings, filled once from TessalyAgent.ini and
// Place_Trans.txt before the run loop starts and only read afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "agent/host/config/place_trans.h"

inline constexpr std::size_t kSendTimeSize = 6;  // "HH:MM" and the zero

inline constexpr int kDefaultBizDays = 3;
inline constexpr int kDefaultMaxRec = 10000;
inline constexpr int kDefaultLoopMinute = 10;
inline constexpr int kDefaultSmsMaxLen = 20;
inline constexpr int kDefaultSendMode = 1;  // every other event mode defaults to 0

extern int g_nBizDays;
extern int g_nMaxRec;
extern int g_nLoopMinute;
extern char g_szSendBegin[kSendTimeSize];
extern char g_szSendEnd[kSendTimeSize];
extern int g_nTakeDays, g_nTakeMode;
extern int g_nSendDays, g_nSendMode;
extern int g_nSignDays, g_nSignMode;
extern int g_nErrorDays, g_nErrorMode;
extern int g_nWebDays, g_nWebMode;
extern int g_nBearHours, g_nBearMode;
// Times of day as hour*10000 + minute*100 + second, ascending.
extern std::vector<std::uint32_t> g_adwPackTimes;
extern std::vector<std::uint32_t> g_adwArrearsTimes;
extern std::vector<std::string> g_astrSmsMasks;
extern int g_nSmsMaxLen;
extern CPlaceTrans g_placeTrans;

// Tracking-detail table suffix: empty or "_en", set by the start-up's
// dictionary probe; the scanners append it to "check_detail".
inline constexpr std::size_t kDetailSuffixSize = 4;
extern char g_szDetailSuffix[kDetailSuffixSize];

// The consignment state words (GBK), indexed by the state number that the
// courier database keeps; a number at or above kStateNameCount has no word.
inline constexpr std::size_t kStateNameCount = 11;
extern const char* const g_astrStateNames[kStateNameCount];

// Puts every setting above back to its default and empties g_placeTrans.
void ResetSettings();
