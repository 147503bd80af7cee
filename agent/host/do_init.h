// The start-up load of the agent's configuration files.
#pragma once

#include <string_view>

#include "platform/env.h"

class CMessChannel;

// Reads TessalyAgent.ini into the settings, hands WeChat_Mess.txt and
// SMS_SET_4S.txt to the channel object, loads Place_Trans.txt into
// g_placeTrans and logs a summary. programFolder ends with the path
// separator; an empty folder reads no file. Every file may be missing: its
// settings keep their defaults. Returns 1.
int DoInit(std::string_view programFolder, platform::Env* env, CMessChannel& channel);
// The same for the folder of the running program and g_messChannel.
int DoInit(platform::Env* env = platform::Env::Default());
