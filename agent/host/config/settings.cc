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
char g_szDetailSuffix[kDetailSuffixSize] = {};  // "" or "_en", from the probe

const char* const g_astrStateNames[kStateNameCount] = {
    "\xCE\xB4\xB7\xA2",                  // 未发 not sent
    "\xD2\xD1\xB7\xA2",                  // 已发 sent
    "\xD7\xAA\xD4\xCB\xD6\xD0",          // 转运中 in transit
    "\xCB\xCD\xB4\xEF",                  // 送达 delivered
    "\xB3\xAC\xCA\xB1",                  // 超时 overdue
    "\xBA\xA3\xB9\xD8\xD1\xD3\xCE\xF3",  // 海关延误 held by customs
    "\xB5\xD8\xD6\xB7\xB4\xED\xCE\xF3",  // 地址错误 wrong address
    "\xBF\xEC\xBC\xFE\xB6\xAA\xCA\xA7",  // 快件丢失 lost
    "\xCD\xCB\xBC\xFE",                  // 退件 returned
    "\xC6\xE4\xCB\xFC\xD2\xEC\xB3\xA3",  // 其它异常 other problem
    "\xCF\xFA\xBB\xD9",                  // 销毁 destroyed
};
