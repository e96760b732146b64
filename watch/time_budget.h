// How long a piece of a pass's work may take: the game pays for each pass in its
// frame, and the same work costs several times more on a slow disk, behind an
// antivirus filter or on a laptop on battery, so work that depends on the machine
// is bounded by time, not by a count fitted to one machine. The time is read on
// the performance counter after each step of the work, and each piece always
// makes at least one step, so that it still completes, in more passes.
#pragma once

#include <climits>
#include <cstdint>

#include "host/kernel.h"

struct TimeBudget {
    long long ticks = 0;  // of the performance counter; LLONG_MAX: unbounded
};

inline constexpr TimeBudget unboundedTime{LLONG_MAX};

// `microseconds` on this machine's performance counter; none at all when its
// frequency is unknown (each piece then makes its one step).
inline TimeBudget microsecondsBudget(std::uint32_t microseconds) {
    const long long frequency = performanceFrequency();
    return {frequency > 0 ? frequency / 1'000'000 * microseconds + frequency % 1'000'000 * microseconds / 1'000'000
                          : 0};
}

// The time a piece of work has spent since it began, against its budget.
struct TimeSpent {
    TimeBudget budget;
    long long start = budget.ticks == LLONG_MAX ? 0 : performanceCount();

    bool over() const { return budget.ticks != LLONG_MAX && performanceCount() - start >= budget.ticks; }

    // What is left of the budget, none once it is spent.
    TimeBudget left() const {
        if (budget.ticks == LLONG_MAX) {
            return budget;
        }
        const long long spent = performanceCount() - start;
        return {spent < budget.ticks ? budget.ticks - spent : 0};
    }
};
