// Reading the text of TessalyAgent.ini into the process-wide settings.
#pragma once

#include <string_view>

// Applies every key of a TessalyAgent.ini text (GBK, ending at its first zero
// byte) to the settings: each number, look-back and mode, the send window,
// the two time lists and the SMS number masks. Absent keys take their
// defaults; every number is then brought into its accepted range.
void ApplyAgentIni(std::string_view text);
