// Nothing the plug-in throws may reach the host or the game: the entry points are
// run with each of their allocations failing in turn.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#include "plugin/dll_main.h"
#include "keys/key_records.h"
#include "keys/key_names.h"
#include "reload/live_settings.h"
#include "settings/settings.h"
#include "reload/reload_loop.h"
#include "tests/plugin_fixture.h"

namespace {

// Allocation failure injection, per thread so that no other thread is touched.
thread_local bool injecting = false;
thread_local std::size_t allowance = 0;
thread_local bool injectedFailure = false;

void* allocate(std::size_t size) {
    if (injecting && !sim::recordingCall()) {
        if (allowance == 0) {
            injectedFailure = true;
            throw std::bad_alloc();
        }
        --allowance;
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void* allocateOrNull(std::size_t size) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

// The test program's allocator. Every plain form of new and delete is replaced
// together, so nothing is ever freed by another allocator than the one that made it.
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace {

// Runs `action` with every allocation after its first `allowed` ones failing, and
// says whether anything was thrown out of it; `injectedFailure` tells whether an
// allocation was refused.
template <typename Action>
bool throwsWithFailure(std::size_t allowed, Action action) {
    bool thrown = false;
    allowance = allowed;
    injectedFailure = false;
    injecting = true;
    try {
        action();
    } catch (...) {
        thrown = true;
    }
    injecting = false;
    return thrown;
}

class HostBoundary : public InTempDirectory {};

const char historyFolder[] = "BrackenfoldHistory";

TEST_F(HostBoundary, FailedAllocationWhileReadingSettingsKeepsTheKey) {
    writeSettings("[Other]\nA=1\nB=2\n[BrackenfoldConfig]\nReloadKey=117\nC=3\n");
    std::size_t allowed = 0;
    for (;; ++allowed) {
        ASSERT_LT(allowed, 1000u);
        activeSettings.reloadKey.key = 121;
        settings.clear();
        ASSERT_FALSE(throwsWithFailure(allowed, loadSettings)) << "after " << allowed << " allocations";
        if (!injectedFailure) {
            break;
        }
        ASSERT_EQ(activeSettings.reloadKey.key, 121u) << "after " << allowed << " allocations";
    }
    EXPECT_EQ(activeSettings.reloadKey.key, 117u);
    // The settings read needs several allocations, each of which was made to fail.
    EXPECT_GE(allowed, 5u);
}

TEST_F(HostBoundary, FailedAllocationDuringTheSearchShowsThatReloadIsUnavailable) {
    std::vector<std::uint8_t> image = makeImage(0x2000);
    plantSignature(image.data(), 0x1000);
    gameModuleBase = image.data();

    std::vector<sim::Call> unavailable = messageCalls(unavailableMessage);
    unavailable.push_back(waitCall());
    std::size_t allowed = 0;
    for (;; ++allowed) {
        ASSERT_LT(allowed, 1000u);
        sim::clearCalls();
        sim::setTickCount(1000);
        handleKeyMessage(121, 1, 0x44, 0, 0, 0, 1);
        ASSERT_FALSE(throwsWithFailure(allowed, runPass)) << "after " << allowed << " allocations";
        if (!injectedFailure) {
            break;
        }
        ASSERT_EQ(sim::calls(), unavailable) << "after " << allowed << " allocations";
    }
    EXPECT_EQ(sim::calls().front(), gameRoutineCall(image.data() + 0x1000));
    EXPECT_GE(allowed, 1u);
}

TEST_F(HostBoundary, FailedAllocationDuringStartUpIsNotThrownOut) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=117\n");
    std::vector<std::uint8_t> image = makeImage(0x2000);
    sim::addModule("RDR2.exe", image.data());
    for (std::size_t allowed = 0; allowed < 100; ++allowed) {
        activeSettings.reloadKey.key = 121;
        ASSERT_FALSE(throwsWithFailure(allowed, startScript)) << "after " << allowed << " allocations";
        EXPECT_EQ(gameModuleBase, image.data());
        EXPECT_EQ(activeSettings.reloadKey.key, injectedFailure ? 121u : 117u);
    }
}

TEST_F(HostBoundary, FailedAllocationWhileWatchingAFolderAndKeepingVersionsIsNotThrownOut) {
    writeSettings("[BrackenfoldConfig]\nWatchFile=lml\n");
    for (const char* mod : {"lml/ModA", "lml/ModB"}) {
        std::filesystem::create_directories(mod);
        std::ofstream(std::string(mod) + "/VegetationModifiers.meta") << "<CVegetationModifiers/>\n";
    }
    std::vector<std::uint8_t> image = makeImage(0x2000);
    plantSignature(image.data(), 0x1000);
    sim::addModule("RDR2.exe", image.data());
    std::size_t allowed = 0;
    for (;; ++allowed) {
        ASSERT_LT(allowed, 1000u);
        std::filesystem::remove_all(historyFolder);
        sim::setTickCount(1000);
        startScript();
        // One pass lists the folder, looks at its files, and reloads by key.
        handleKeyMessage(121, 1, 0x44, 0, 0, 0, 1);
        sim::clearCalls();
        ASSERT_FALSE(throwsWithFailure(allowed, runPass)) << "after " << allowed << " allocations";
        if (!injectedFailure) {
            break;
        }
    }
    EXPECT_EQ(sim::calls().front(), gameRoutineCall(image.data() + 0x1000));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(historyFolder), {}), 2);
    EXPECT_GE(allowed, 10u);
}

TEST_F(HostBoundary, KeyboardHandlerAndEntryNeedNoMemory) {
    const HINSTANCE module = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x1000});
    ASSERT_FALSE(throwsWithFailure(0, [&] {
        for (DWORD reason = 0; reason < 4; ++reason) {
            DllMain(module, reason, nullptr);
        }
        handleKeyMessage(121, 1, 0x44, 0, 0, 0, 1);
        handleKeyMessage(300, 1, 0x44, 0, 0, 0, 1);
    }));
    EXPECT_FALSE(injectedFailure);
    EXPECT_EQ(keyRecords[121].released.load(), 1);
}

}  // namespace
