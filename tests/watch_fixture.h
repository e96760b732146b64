// What the tests of the watch share: a game image with the routine, passes run
// 16 ms apart with what they did, the log's lines, and a mod loader's folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/plugin_fixture.h"
#include "watch/file_watch.h"
#include "watch/received_versions.h"
#include "watch/reload_check.h"
#include "history/kept_versions.h"

namespace watch_test {

inline constexpr std::size_t plantedAt = 0x800;
inline const char wellFormed[] = "<CVegetationModifiers>\n  <Item type=\"a\" value=\"0.5\"/>\n</CVegetationModifiers>\n";

// What passes did: how many times the routine ran, and what the screen showed.
struct Passes {
    int reloads = 0;
    std::vector<std::string> shown;
};

class WatchedFile : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        setUpGame();
    }

    // The game's image and the simulated clocks, as the game starts.
    void setUpGame() {
        image_ = makeImage(0x2000);
        plantSignature(image_.data(), plantedAt);
        sim::addModule("RDR2.exe", image_.data());
        sim::setTickCount(100'000);
        // Each reading of the performance counter a microsecond: the shares of a
        // listing and the looks of a pass are the same on any machine.
        sim::setPerformanceCounterStep(10);
    }

    // Writes `content` with a last-write time of `second` seconds after an epoch.
    static void save(const std::string& path, const std::string& content, int second) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        std::filesystem::last_write_time(path, std::filesystem::file_time_type(std::chrono::seconds(second)));
    }

    // Starts the script watching `path` (as the setting writes it), with the
    // file saved once before.
    void start(const std::string& setting, const std::string& path) {
        save(path, wellFormed, 1000);
        writeSettings("[BrackenfoldConfig]\nWatchFile = " + setting + "\n");
        startScript();
    }

    // Passes, one each 16 ms, for `milliseconds`.
    static Passes runFor(std::uint32_t milliseconds) {
        Passes passes;
        for (std::uint32_t t = 0; t < milliseconds; t += 16) {
            sim::clearCalls();
            runPass();
            for (const sim::Call& call : sim::calls()) {
                if (call.kind == sim::CallKind::GameRoutine) {
                    ++passes.reloads;
                } else if (call.kind == sim::CallKind::NativePush64) {
                    passes.shown.emplace_back(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(call.value)));
                }
            }
            sim::advanceTickCount(16);
        }
        return passes;
    }

    std::vector<std::uint8_t> image_;
};

inline const char brokenItem[] = "<CVegetationModifiers>\n  <Item>\n</CVegetationModifiers>\n";

// A mod loader's folder, lml, with one folder per mod.
class WatchedFolder : public WatchedFile {
protected:
    void SetUp() override {
        WatchedFile::SetUp();
        sim::setLocalDate(2026, 12, 8);
        sim::setLocalTime(21, 4, 17, 0);
    }

    static std::string modFile(const std::string& mod) { return "lml/" + mod + "/VegetationModifiers.meta"; }

    static void saveMod(const std::string& mod, const std::string& content, int second) {
        std::filesystem::create_directories("lml/" + mod);
        save(modFile(mod), content, second);
    }

    void startWatching(const std::string& settings = "WatchFile=lml\n") {
        saveMod("ModA", wellFormed, 1000);
        saveMod("ModB", wellFormed, 1000);
        writeSettings("[BrackenfoldConfig]\n" + settings);
        startScript();
        EXPECT_EQ(runFor(3000).reloads, 0);
    }
};

}  // namespace watch_test

// For the test files that include this: the shared pieces by their short names.
namespace {
using watch_test::brokenItem;
using watch_test::Passes;
using watch_test::wellFormed;
// Named after what they show, the fixtures hide the watch's own WatchedFile here.
using WatchedFile = watch_test::WatchedFile;
using WatchedFolder = watch_test::WatchedFolder;
}  // namespace
