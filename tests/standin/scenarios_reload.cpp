// Scenarios of the reload itself: key releases, the game's image and its routine,
// and a process that is not the game.
#include <cstring>
#include <string>
#include <vector>

#include "tests/standin/driver.h"
#include "tests/standin/game_image.h"

namespace {

void registrationAtLoad() {
    enterOwnDirectory();
    unloadPlugin(loadPlugin());
}

void idleFramesOnlyWait() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    for (int frame = 0; frame < 20; ++frame) {
        expectFrame(idleFrame(), "an idle frame");
    }
    // A key held down repeats its press message; nothing happens until it is released.
    for (int frame = 0; frame < 5; ++frame) {
        press(keyF10);
        expectFrame(idleFrame(), "a frame while F10 is held down");
    }
    release(keyF10);
    expectFrame(reloadFrame(), "the frame after F10 is released");
    unloadPlugin(plugin);
}

void releaseOfF10Reloads() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    press(keyF10);
    expectFrame(idleFrame(), "the frame after F10 is pressed");
    release(keyF10);
    expectFrame(reloadFrame(), "the frame after F10 is released");
    expectFrame(idleFrame(), "the next frame: one release, one reload");
    expectFrame(idleFrame(), "another idle frame");
    unloadPlugin(plugin);
}

void staleReleaseIsIgnored() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    pressAndRelease(keyF10);
    Sleep(250);
    expectFrame(idleFrame(), "a frame 250 ms after the release");
    expectFrame(idleFrame(), "the next frame");
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "a fresh release");
    unloadPlugin(plugin);
}

void twoReleasesGiveOneReload() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    pressAndRelease(keyF10);
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "the frame after two releases");
    expectFrame(idleFrame(), "the frame after that");
    unloadPlugin(plugin);
}

void keysFromAnotherThread() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    const std::uint32_t mark = standinRecordCount();
    pressAndRelease(keyF10, true);
    expectRecords(mark,
                  {{HostCall::KeyMessage, keyF10, "other thread"}, {HostCall::KeyMessage, keyF10, "other thread"}},
                  "F10 pressed and released on another thread");
    expectFrame(reloadFrame(), "the frame after the release");
    expectFrame(idleFrame(), "the frame after that");
    unloadPlugin(plugin);
}

void signaturePatchedThenRestored() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    {
        const PatchedRoutine patched;
        pressAndRelease(keyF10);
        expectFrame(unavailableFrame(), "a release while the signature is gone");
        expectFrame(idleFrame(), "the next frame");
    }
    if (signatureOccurrences().size() != 1) {
        fail("the signature did not come back");
    }
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "a release after the signature is restored");
    unloadPlugin(plugin);
}

void noAccessPageWithoutSignature() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    {
        const PatchedRoutine patched;
        const ProtectedPage noAccess(pageBeforeRoutine(), PAGE_NOACCESS);
        expectNoAccess(pageBeforeRoutine());
        pressAndRelease(keyF10);
        expectFrame(unavailableFrame(), "a release with a no-access page and no signature");
        expectFrame(idleFrame(), "the next frame");
    }
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "a release after the page and the signature are restored");
    unloadPlugin(plugin);
}

void noAccessPageBeforeRoutine() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    {
        const ProtectedPage noAccess(pageBeforeRoutine(), PAGE_NOACCESS);
        expectNoAccess(pageBeforeRoutine());
        pressAndRelease(keyF10);
        expectFrame(reloadFrame(), "a release with a no-access page just before the routine");
        expectFrame(idleFrame(), "the next frame");
    }
    unloadPlugin(plugin);
}

// A copy of the signature lower than the routine, on its padding page made read-only
// data (a crash if called), until the destructor puts back the padding and protection.
class SignatureCopyOnDataPage {
public:
    SignatureCopyOnDataPage() : writable_(pageBeforeRoutine(), PAGE_READWRITE) {
        const std::vector<std::uint8_t> signature = signatureBytes();
        std::memcpy(copy(), signature.data(), signature.size());
        DWORD previous = 0;
        if (VirtualProtect(const_cast<std::uint8_t*>(pageBeforeRoutine()), pageSize, PAGE_READONLY, &previous) == 0) {
            fail("VirtualProtect failed with error %lu", GetLastError());
        }
    }

    ~SignatureCopyOnDataPage() {
        DWORD previous = 0;
        VirtualProtect(const_cast<std::uint8_t*>(pageBeforeRoutine()), pageSize, PAGE_READWRITE, &previous);
        std::memset(copy(), 0xCC, signatureBytes().size());
    }

    SignatureCopyOnDataPage(const SignatureCopyOnDataPage&) = delete;
    SignatureCopyOnDataPage& operator=(const SignatureCopyOnDataPage&) = delete;

    static std::uint8_t* copy() { return const_cast<std::uint8_t*>(pageBeforeRoutine()) + 0x100; }

private:
    ProtectedPage writable_;
};

void signatureCopyOnADataPageIsSkipped() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    {
        const SignatureCopyOnDataPage copy;
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(pageBeforeRoutine(), &info, sizeof info) == 0 || info.Protect != PAGE_READONLY) {
            fail("the page before the routine is not read-only");
        }
        const std::vector<const std::uint8_t*> found = signatureOccurrences();
        if (found.size() != 2 || found[0] != SignatureCopyOnDataPage::copy() || found[1] != routineEntry()) {
            fail("the signature occurs %zu times; first the copy, then the routine, expected", found.size());
        }
        pressAndRelease(keyF10);
        expectFrame(reloadFrame(), "a release with a copy of the signature on a read-only page before the routine");
        expectFrame(idleFrame(), "the next frame");
    }
    if (signatureOccurrences() != std::vector<const std::uint8_t*>{routineEntry()}) {
        fail("the copy of the signature is still in the image");
    }
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines();
    expectLogLine(lines, "INFO reload: game routine found at " + routineText() + " in ");
    // Up to the routine's end, less the one page that was data during the search.
    MemoryKinds searched = mappedKinds(routineOffset() + 34);
    searched.code -= pageSize;
    searched.data += pageSize;
    expectLogLine(lines, searchedText(searched));
}

void otherProcessName() {
    if (GetModuleHandleA("RDR2.exe") != nullptr) {
        fail("run this scenario from a copy of the game under another name");
    }
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    pressAndRelease(keyF10);
    expectFrame(unavailableFrame(), "a release in a process that is not RDR2.exe");
    expectFrame(idleFrame(), "the next frame");
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines();
    expectLogLine(lines, "ERROR game: no module RDR2.exe in this process (OtherGame.exe); reloads are unavailable");
    expectLogLine(lines, "ERROR reload: no module RDR2.exe to search; nothing reloaded");
}

void unloadWithdrawsRegistrations() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    for (int frame = 0; frame < 3; ++frame) {
        expectFrame(idleFrame(), "an idle frame");
    }
    unloadPlugin(plugin);
}

void gameImageIsSound() {
    const std::vector<std::uint8_t> signature = signatureBytes();
    if (signature.size() != 34 || std::memcmp(routineEntry(), signature.data(), signature.size()) != 0) {
        fail("the routine does not start with the 34 signature bytes");
    }
    const std::vector<const std::uint8_t*> found = signatureOccurrences();
    if (found.size() != 1 || found[0] != routineEntry()) {
        fail("the signature occurs %zu times in the image; once, at the routine, expected", found.size());
    }
    // The log's expected counts come from the section headers: they must be what
    // the search is told.
    if (mappedKinds(gameImageSize()) != queriedKinds(gameImageSize())) {
        fail("the section headers give %s, VirtualQuery %s", searchedText(mappedKinds(gameImageSize())).c_str(),
             searchedText(queriedKinds(gameImageSize())).c_str());
    }
    const auto padding = reinterpret_cast<std::uintptr_t>(standinRoutinePadding);
    if (padding % pageSize != 0 || reinterpret_cast<std::uintptr_t>(routineEntry()) != padding + 2 * pageSize) {
        fail("the padding pages do not lie right before the routine");
    }
    const std::uint32_t mark = standinRecordCount();
    if (const std::string problem = checkUnwindThroughRoutine(); !problem.empty()) {
        fail("%s", problem.c_str());
    }
    standinReloadRoutine(dataName);
    expectRecords(mark, {{HostCall::GameRoutine, std::nullopt, "unwind check"}, {HostCall::GameRoutine, std::nullopt, dataName}},
                  "calling the routine directly");
}

}  // namespace

std::vector<Scenario> reloadScenarios() {
    return {
        {"registration_at_load", registrationAtLoad},
        {"idle_frames_only_wait", idleFramesOnlyWait},
        {"release_of_f10_reloads", releaseOfF10Reloads},
        {"stale_release_is_ignored", staleReleaseIsIgnored},
        {"two_releases_give_one_reload", twoReleasesGiveOneReload},
        {"keys_from_another_thread", keysFromAnotherThread},
        {"signature_patched_then_restored", signaturePatchedThenRestored},
        {"no_access_page_without_signature", noAccessPageWithoutSignature},
        {"no_access_page_before_routine", noAccessPageBeforeRoutine},
        {"signature_copy_on_a_data_page_is_skipped", signatureCopyOnADataPageIsSkipped},
        {"other_process_name", otherProcessName},
        {"unload_withdraws_registrations", unloadWithdrawsRegistrations},
        {"game_image_is_sound", gameImageIsSound},
    };
}
