// A watched folder's listing pass: a share of the listing in each pass, and its
// result taken into the watch once it is complete (new files count as saved,
// except at the first look; those gone are dropped). A folder that is no longer
// there is told missing and looked at as a single path from then on. Each gives
// the attribute queries it made (at most one).
#pragma once

#include <cstddef>
#include <cstdint>

#include "watch/time_budget.h"

// A listing started now, with a first share that spends `budget`.
std::size_t startFolderListing(std::uint32_t now, TimeBudget budget);
// One share of the listing under way. A share that completes the listing but
// spends its budget leaves the taking in to takeCompleteListing, at the next pass.
std::size_t shareOfListing(std::uint32_t now, TimeBudget budget);
std::size_t takeCompleteListing(std::uint32_t now);
// The files of a listing taken in that found a change (or the first), logged a
// pass later: taking a listing in and naming its files are each a pass's work.
void logTakenListing();
