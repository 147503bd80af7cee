// CSTessaly: the courier notification agent.
#include "agent/host/agent_app.h"

// The application object, built before main runs, as the service host and
// the signal handlers expect one host for the whole process.
CAgentApp theApp;

int main(int argc, char** argv) {
  theApp.InitInstance(argc, argv);
  return 0;
}
