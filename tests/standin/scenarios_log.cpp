// Scenarios of what the plug-in tells a player who reports a problem: the log
// beside the game, the versions, and one copy of the plug-in per game.
#include "tests/standin/driver.h"

std::vector<Scenario> logScenarios() { return {}; }
