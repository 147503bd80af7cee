#include "agent/host/config/settings.h"

int g_nBizDays = kDefaultBizDays;        // business days, only reported at start
int g_nMaxRec = kDefaultMaxRec;          // row limit of every scanner query
int g_nLoopMinute = kDefaultLoopMinute;  // minutes between update runs
char g_szSendBegin[kSendTimeSize] = {};  // send window start "HH:MM", empty: open
char g_szSendEnd[kSendTimeSize] = {};    // send window end "HH:MM", empty: open
int g_nTakeDays = 0, g_nTakeMode = 0;    // entered consignments: look-back, SMS mode
int g_nSendDays = 0, g_nSendMode = kDefaultSendMode;  // sent consignments
int g_nSignDays = 0, g_nSignMode = 0;    // signed-for consignments
int g_nErrorDays = 0, g_nErrorMode = 0;  // consignments gone wrong
int g_nWebDays = 0, g_nWebMode = 0;      // consignments entering the tracking network
int g_nBearHours = 0, g_nBearMode = 0;   // consignments out for delivery (hours)
std::vector<std::uint32_t> g_adwPackTimes;     // when the bag-balance scan may run
std::vector<std::uint32_t> g_adwArrearsTimes;  // when the arrears scan may run
std::vector<std::string> g_astrSmsMasks;       // accepted SMS number shapes
int g_nSmsMaxLen = kDefaultSmsMaxLen;          // longest accepted SMS number
CPlaceTrans g_placeTrans;                      // place-name replacements
