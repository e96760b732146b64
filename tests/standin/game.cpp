// The stand-in game, RDR2.exe: loads the stand-in script host (by import), then the
// plug-in with LoadLibraryW, runs frames and sends keys the way one scenario asks,
// checks every call the plug-in made, and unloads it. One scenario per process:
//   RDR2.exe SCENARIO     exit code 0 when it passed, 1 when it failed (with the
//                         reason printed), 2 for a bad command line, 3 on a crash.
#include <cstdio>
#include <cstring>
#include <vector>

#include "tests/standin/driver.h"

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(reportCrash);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // Before anything else: a run that fails without this line never started.
    std::printf("RDR2.exe %s: started\n", argc >= 2 ? argv[1] : "(no scenario)");
    std::vector<Scenario> scenarios;
    for (const auto& list :
         {reloadScenarios(), settingsScenarios(), logScenarios(), watchScenarios(), mainJobScenarios(),
          loaderScenarios()}) {
        scenarios.insert(scenarios.end(), list.begin(), list.end());
    }
    if (argc == 2) {
        for (const Scenario& scenario : scenarios) {
            if (std::strcmp(argv[1], scenario.name) == 0) {
                scenarioName = scenario.name;
                scenario.run();
                std::printf("PASS %s\n", scenarioName);
                return 0;
            }
        }
    }
    std::printf("usage: RDR2.exe SCENARIO, one of:\n");
    for (const Scenario& scenario : scenarios) {
        std::printf("  %s\n", scenario.name);
    }
    return 2;
}
