// The cost of the script's pass on the simulated host, which the game pays every
// frame: the median of many single passes, with no watched file, with one but no
// file query due, and with one query of the watched file's attributes; then with a
// watched folder of 1,000 entries holding 64 data files: no query due, eight
// queries, and a pass that reads a share of the folder's listing.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "watch/file_watch.h"
#include "reload/reload_loop.h"
#include "report/log.h"
#include "settings/settings.h"
#include "tests/sim/sim.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int passCount = 200'001;

struct Figure {
    const char* what;
    double medianMicroseconds;
    double limitMicroseconds;
};

constexpr std::size_t anyQueries = SIZE_MAX;

// Runs passes, advancing the tick count by `step` ms before each, and gives the
// median time of those that made exactly `queries` file queries (or any number),
// and with `sharing`, only of those that read a share of a listing.
double medianPass(std::uint32_t step, std::size_t queries, int passes = passCount, bool sharing = false) {
    std::vector<double> times;
    times.reserve(passes);
    for (int i = 0; i < passes; ++i) {
        sim::advanceTickCount(step);
        const std::size_t before = sim::fileQueries();
        const bool listing = fileWatch.listing.active;
        const Clock::time_point start = Clock::now();
        runPass();
        const Clock::time_point end = Clock::now();
        // A share starts, carries on or completes a listing: it is under way before or after.
        const bool shared = listing || fileWatch.listing.active;
        if ((queries == anyQueries || sim::fileQueries() - before == queries) && (!sharing || shared)) {
            times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
        if (i % 4096 == 0) {
            sim::clearCalls();
        }
    }
    if (times.empty()) {
        std::fprintf(stderr, "no pass made %zu file queries\n", queries);
        std::exit(1);
    }
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
    return times[times.size() / 2];
}

void startWith(const std::string& settingsText) {
    sim::reset();
    sim::setTickCount(1'000'000);
    std::ofstream(settingsFileName, std::ios::binary | std::ios::trunc) << settingsText;
    activeSettings = Settings{};
    startScript();
    // The first passes take the baselines.
    runPass();
    sim::clearCalls();
}

}  // namespace

int main() {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("brackenfold-pass-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);
    std::ofstream("VegetationModifiers.meta") << "<CVegetationModifiers/>\n";
    // A mod loader's folder: 64 mods with their data file among other files, 1,000 entries in all.
    for (int mod = 0; mod < 64; ++mod) {
        const std::filesystem::path folder = std::filesystem::path("lml") / ("mod" + std::to_string(mod));
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "VegetationModifiers.meta") << "<CVegetationModifiers/>\n";
        for (int other = 0; other < 11; ++other) {
            std::ofstream(folder / ("stream" + std::to_string(other) + ".ymt"));
        }
    }
    for (int other = 0; other < 1000 - 64 * 12; ++other) {
        std::ofstream(std::filesystem::path("lml") / ("readme" + std::to_string(other) + ".txt"));
    }

    std::vector<Figure> figures;
    startWith("[BrackenfoldConfig]\nReloadKey=F10\n");
    figures.push_back({"no watched file, no file query", medianPass(0, 0), 1.0});
    startWith("[BrackenfoldConfig]\nWatchFile=VegetationModifiers.meta\n");
    figures.push_back({"watched file, no file query due", medianPass(1, 0), 1.0});
    figures.push_back({"watched file, one file query", medianPass(watchCheckIntervalMs, 1), 100.0});
    startWith("[BrackenfoldConfig]\nWatchFile=lml\n");
    figures.push_back({"watched folder, no file query due", medianPass(1, 0), 1.0});
    // 64 files each looked at in turn every 200 ms: eight looks are owed after 25 ms.
    figures.push_back({"watched folder, eight file queries", medianPass(25, 8), 100.0});
    // A listing of the folder (1,000 entries, 64 files) goes on in shares, beside the looks.
    figures.push_back({"watched folder, a share of its listing", medianPass(25, anyQueries, 200'001, true), 100.0});
    closeLog();

    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(directory);

    bool within = true;
    std::printf("script pass on the simulated host, median of up to %d passes:\n", passCount);
    for (const Figure& figure : figures) {
        const bool ok = figure.medianMicroseconds <= figure.limitMicroseconds;
        within = within && ok;
        std::printf("  %-38s %8.3f us  (at most %.0f us: %s)\n", figure.what, figure.medianMicroseconds,
                    figure.limitMicroseconds, ok ? "yes" : "NO");
    }
    return within ? 0 : 1;
}
