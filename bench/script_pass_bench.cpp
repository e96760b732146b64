// The cost of the script's pass on the simulated host, which the game pays every
// frame: the median of many single passes, with no watched file, with one but no
// file query due, and with one query of the watched file's attributes.
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

constexpr int passes = 200'001;

struct Figure {
    const char* what;
    double medianMicroseconds;
    double limitMicroseconds;
};

// Runs passes, advancing the tick count by `step` ms before each, and gives the
// median time of those that made exactly `queries` file queries.
double medianPass(std::uint32_t step, std::size_t queries) {
    std::vector<double> times;
    times.reserve(passes);
    for (int i = 0; i < passes; ++i) {
        sim::advanceTickCount(step);
        const std::size_t before = sim::fileQueries();
        const Clock::time_point start = Clock::now();
        runPass();
        const Clock::time_point end = Clock::now();
        if (sim::fileQueries() - before == queries) {
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

    std::vector<Figure> figures;
    startWith("[BrackenfoldConfig]\nReloadKey=F10\n");
    figures.push_back({"no watched file, no file query", medianPass(0, 0), 1.0});
    startWith("[BrackenfoldConfig]\nWatchFile=VegetationModifiers.meta\n");
    figures.push_back({"watched file, no file query due", medianPass(1, 0), 1.0});
    figures.push_back({"watched file, one file query", medianPass(watchCheckIntervalMs, 1), 100.0});
    closeLog();

    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(directory);

    bool within = true;
    std::printf("script pass on the simulated host, median of %d passes:\n", passes);
    for (const Figure& figure : figures) {
        const bool ok = figure.medianMicroseconds <= figure.limitMicroseconds;
        within = within && ok;
        std::printf("  %-34s %8.3f us  (at most %.0f us: %s)\n", figure.what, figure.medianMicroseconds,
                    figure.limitMicroseconds, ok ? "yes" : "NO");
    }
    return within ? 0 : 1;
}
