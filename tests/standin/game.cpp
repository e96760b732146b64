// The stand-in game, RDR2.exe: loads the stand-in script host (by import), then the
// plug-in with LoadLibraryA, runs frames and sends keys the way one scenario asks,
// checks every call the plug-in made, and unloads it. One scenario per process:
//   RDR2.exe SCENARIO     exit code 0 when it passed, 1 when it failed (with the
//                         reason printed), 2 for a bad command line, 3 on a crash.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/standin/game_image.h"
#include "tests/standin/standin_host.h"

namespace {

constexpr unsigned long keyF6 = 117;
constexpr unsigned long keyF10 = 121;

const char reloadText[] = "Reloaded VegetationModifiers.meta";
const char unavailableText[] = "VegetationModifiers reload unavailable: game routine not found";
const char dataName[] = "VegetationModifiers";
const std::uint64_t messageNatives[4] = {0xFA233F8FE190514CULL, 0xE9990552DEC71600ULL, 0xA3108D6981A5CADBULL,
                                         0xDFF0D417277B41F8ULL};

const char* scenarioName = "";

std::vector<HostRecord> recordsSince(std::uint32_t mark) {
    std::vector<HostRecord> records;
    HostRecord record{};
    for (std::uint32_t i = mark; standinRecordAt(i, &record) != 0; ++i) {
        records.push_back(record);
    }
    return records;
}

std::string keyName(std::uint64_t key) {
    char name[32];
    if (key >= 0x70 && key <= 0x87) {
        std::snprintf(name, sizeof name, "F%u", static_cast<unsigned>(key - 0x70 + 1));
    } else {
        std::snprintf(name, sizeof name, "key %" PRIu64, key);
    }
    return name;
}

// The text at `address` when it is a NUL-terminated string in readable memory.
std::optional<std::string> textAt(std::uint64_t address) {
    const auto* text = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(address));
    std::string copy;
    for (std::size_t i = 0; i < 256; ++i) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(text + i, &info, sizeof info) == 0 || info.State != MEM_COMMIT ||
            (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) {
            return std::nullopt;
        }
        if (text[i] == '\0') {
            return copy;
        }
        copy += text[i];
    }
    return std::nullopt;
}

std::string describe(const HostRecord& record) {
    char line[256];
    switch (record.call) {
    case HostCall::ScriptRegister:
        std::snprintf(line, sizeof line, "scriptRegister(module 0x%" PRIx64 ", script 0x%" PRIx64 ")", record.first,
                      record.second);
        break;
    case HostCall::ScriptUnregister:
        std::snprintf(line, sizeof line, "scriptUnregister(module 0x%" PRIx64 ")", record.first);
        break;
    case HostCall::KeyboardHandlerRegister:
        std::snprintf(line, sizeof line, "keyboardHandlerRegister(handler 0x%" PRIx64 ")", record.first);
        break;
    case HostCall::KeyboardHandlerUnregister:
        std::snprintf(line, sizeof line, "keyboardHandlerUnregister(handler 0x%" PRIx64 ")", record.first);
        break;
    case HostCall::ScriptWait:
        std::snprintf(line, sizeof line, "scriptWait(%" PRIu64 ")", record.first);
        break;
    case HostCall::NativeInit:
        std::snprintf(line, sizeof line, "nativeInit(0x%016" PRIX64 ")", record.first);
        break;
    case HostCall::NativePush64: {
        const auto text = textAt(record.first);
        std::snprintf(line, sizeof line, "nativePush64(0x%" PRIx64 ")%s%s%s", record.first, text ? " -> \"" : "",
                      text ? text->c_str() : "", text ? "\"" : "");
        break;
    }
    case HostCall::NativeCall:
        std::snprintf(line, sizeof line, "nativeCall()");
        break;
    case HostCall::Frame:
        std::snprintf(line, sizeof line, "frame %" PRIu64, record.first);
        break;
    case HostCall::KeyMessage:
        std::snprintf(line, sizeof line, "%s %s (%s)", keyName(record.first).c_str(),
                      record.second != 0 ? "released" : "pressed", record.text);
        break;
    case HostCall::GameRoutine:
        std::snprintf(line, sizeof line, "game routine called with \"%s\"", record.text);
        break;
    case HostCall::Fault:
        std::snprintf(line, sizeof line, "FAULT: %s", record.text);
        break;
    }
    return line;
}

void printRecords(const std::vector<HostRecord>& records) {
    for (const HostRecord& record : records) {
        std::printf("    %s\n", describe(record).c_str());
    }
}

[[noreturn]] void fail(const char* format, ...) {
    std::printf("FAIL %s: ", scenarioName);
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::printf("\n");
    std::fflush(stdout);
    // No unloading, no destructors: the state that failed is left as it was.
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) {
    }
}

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception) {
    std::printf("FAIL %s: crashed with exception 0x%08lX at %p\n", scenarioName,
                exception->ExceptionRecord->ExceptionCode, exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// One expected record: its kind, and where given, its first value, its text, or the
// text that its first value points to.
struct Want {
    HostCall call;
    std::optional<std::uint64_t> first = std::nullopt;
    const char* text = nullptr;
    const char* pointsTo = nullptr;
};

bool matches(const HostRecord& record, const Want& want) {
    if (record.call != want.call || (want.first && record.first != *want.first)) {
        return false;
    }
    if (want.text != nullptr && std::strcmp(record.text, want.text) != 0) {
        return false;
    }
    if (want.pointsTo != nullptr) {
        const auto text = textAt(record.first);
        return text && *text == want.pointsTo;
    }
    return true;
}

void expectRecords(std::uint32_t mark, const std::vector<Want>& wants, const char* what) {
    const std::vector<HostRecord> records = recordsSince(mark);
    bool same = records.size() == wants.size();
    for (std::size_t i = 0; same && i < records.size(); ++i) {
        same = matches(records[i], wants[i]);
    }
    if (!same) {
        std::printf("%s: the host saw these calls instead:\n", what);
        printRecords(records);
        fail("%s: %zu calls expected, %zu seen, or not these", what, wants.size(), records.size());
    }
}

std::vector<Want> idleFrame() {
    return {{HostCall::Frame}, {HostCall::ScriptWait, 0}};
}

std::vector<Want> messageFrame(const char* message, bool routineCalled) {
    std::vector<Want> wants{{HostCall::Frame}};
    if (routineCalled) {
        wants.push_back({HostCall::GameRoutine, std::nullopt, dataName});
    }
    wants.push_back({HostCall::NativeInit, messageNatives[0]});
    wants.push_back({HostCall::NativePush64, std::nullopt, nullptr, message});
    wants.push_back({HostCall::NativeCall});
    for (int i = 1; i < 4; ++i) {
        wants.push_back({HostCall::NativeInit, messageNatives[i]});
        wants.push_back({HostCall::NativeCall});
    }
    wants.push_back({HostCall::ScriptWait, 0});
    return wants;
}

std::vector<Want> reloadFrame() {
    return messageFrame(reloadText, true);
}

std::vector<Want> unavailableFrame() {
    return messageFrame(unavailableText, false);
}

void expectFrame(const std::vector<Want>& wants, const char* what) {
    const std::uint32_t mark = standinRecordCount();
    standinRunFrame();
    expectRecords(mark, wants, what);
}

void press(unsigned long key, bool otherThread = false) {
    standinSendKey(key, 0, otherThread ? 1 : 0);
}

void release(unsigned long key, bool otherThread = false) {
    standinSendKey(key, 1, otherThread ? 1 : 0);
}

void pressAndRelease(unsigned long key, bool otherThread = false) {
    press(key, otherThread);
    release(key, otherThread);
}

std::string directoryOfExe() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

HMODULE moduleOf(std::uint64_t address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<const char*>(static_cast<std::uintptr_t>(address)), &module);
    return module;
}

struct Plugin {
    HMODULE module;
    std::uint64_t script;
    std::uint64_t handler;
};

std::uint64_t address(const void* pointer) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// Loads the plug-in, checks what it registered, and runs the first frame, in which
// the host starts its script.
Plugin loadPlugin() {
    const std::string path = directoryOfExe() + "Brackenfold.asi";
    const std::uint32_t mark = standinRecordCount();
    const HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        fail("LoadLibraryA(\"%s\") failed with error %lu", path.c_str(), GetLastError());
    }
    expectRecords(mark,
                  {{HostCall::ScriptRegister, address(module)}, {HostCall::KeyboardHandlerRegister}},
                  "loading the plug-in");
    const std::vector<HostRecord> records = recordsSince(mark);
    const Plugin plugin{module, records[0].second, records[1].first};
    if (moduleOf(plugin.script) != module || moduleOf(plugin.handler) != module) {
        fail("the script function and the keyboard handler must lie in the plug-in's own image");
    }
    expectFrame(idleFrame(), "the first frame, in which the script starts");
    return plugin;
}

// Unloads the plug-in, checks what it withdrew, and that no fault was seen.
void unloadPlugin(const Plugin& plugin) {
    const std::uint32_t mark = standinRecordCount();
    if (FreeLibrary(plugin.module) == 0) {
        fail("FreeLibrary failed with error %lu", GetLastError());
    }
    expectRecords(mark,
                  {{HostCall::ScriptUnregister, address(plugin.module)},
                   {HostCall::KeyboardHandlerUnregister, plugin.handler}},
                  "unloading the plug-in");
    expectFrame({{HostCall::Frame}}, "a frame after unloading, which runs no script");
    for (const HostRecord& record : recordsSince(0)) {
        if (record.call == HostCall::Fault) {
            fail("the host saw a fault: %s", record.text);
        }
    }
}

// Every scenario works in a directory of its own, so settings files stay apart.
void enterOwnDirectory() {
    CreateDirectoryA("runs", nullptr);
    const std::string directory = std::string("runs\\") + scenarioName;
    CreateDirectoryA(directory.c_str(), nullptr);
    if (SetCurrentDirectoryA(directory.c_str()) == 0) {
        fail("cannot enter %s (error %lu)", directory.c_str(), GetLastError());
    }
    DeleteFileA("BrackenfoldConfig.ini");
    RemoveDirectoryA("BrackenfoldConfig.ini");
    if (GetFileAttributesA("BrackenfoldConfig.ini") != INVALID_FILE_ATTRIBUTES) {
        fail("cannot clear BrackenfoldConfig.ini left in %s", directory.c_str());
    }
}

void writeSettings(const std::string& bytes) {
    std::FILE* file = std::fopen("BrackenfoldConfig.ini", "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        fail("cannot write BrackenfoldConfig.ini");
    }
}

// With the plug-in loaded: `reloads` reloads on release, `ignored` does nothing.
void expectReloadKey(unsigned long reloads, unsigned long ignored) {
    pressAndRelease(ignored);
    expectFrame(idleFrame(), ("a release of " + keyName(ignored) + ", which is not the reload key").c_str());
    pressAndRelease(reloads);
    expectFrame(reloadFrame(), ("a release of " + keyName(reloads) + ", the reload key").c_str());
    expectFrame(idleFrame(), "the frame after the reload");
}

void settingsScenario(const std::string& settings, unsigned long reloads, unsigned long ignored) {
    enterOwnDirectory();
    writeSettings(settings);
    const Plugin plugin = loadPlugin();
    expectReloadKey(reloads, ignored);
    unloadPlugin(plugin);
}

class ProtectedPage {
public:
    ProtectedPage(const std::uint8_t* page, DWORD protection) : page_(const_cast<std::uint8_t*>(page)) {
        if (VirtualProtect(page_, pageSize, protection, &previous_) == 0) {
            fail("VirtualProtect failed with error %lu", GetLastError());
        }
    }
    ~ProtectedPage() {
        DWORD ignored = 0;
        VirtualProtect(page_, pageSize, previous_, &ignored);
        FlushInstructionCache(GetCurrentProcess(), page_, pageSize);
    }
    ProtectedPage(const ProtectedPage&) = delete;
    ProtectedPage& operator=(const ProtectedPage&) = delete;

private:
    std::uint8_t* page_;
    DWORD previous_ = 0;
};

const std::uint8_t* pageOf(const std::uint8_t* address) {
    return reinterpret_cast<const std::uint8_t*>(reinterpret_cast<std::uintptr_t>(address) & ~(pageSize - 1));
}

// Overwrites the routine's first byte with int3, so that its signature is gone
// from the image and any call of it would trap; the destructor puts it back.
class PatchedRoutine {
public:
    PatchedRoutine() : page_(pageOf(routineEntry()), PAGE_EXECUTE_READWRITE) {
        original_ = *routineEntry();
        *const_cast<std::uint8_t*>(routineEntry()) = 0xCC;
        if (!signatureOccurrences().empty()) {
            fail("the signature is still in the image after patching");
        }
    }
    ~PatchedRoutine() { *const_cast<std::uint8_t*>(routineEntry()) = original_; }
    PatchedRoutine(const PatchedRoutine&) = delete;
    PatchedRoutine& operator=(const PatchedRoutine&) = delete;

private:
    ProtectedPage page_;
    std::uint8_t original_ = 0;
};

void expectNoAccess(const std::uint8_t* page) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(page, &info, sizeof info) == 0 || info.Protect != PAGE_NOACCESS) {
        fail("the page before the routine is not no-access");
    }
}

// ---- Scenarios ----

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

void settingsChooseF6() {
    settingsScenario("[BrackenfoldConfig]\r\nReloadKey=117\r\n", keyF6, keyF10);
}

void settingsNameF6() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey = F6\n", keyF6, keyF10);
}

void settingsOutOfRange() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=256\n", keyF10, keyF6);
}

void settingsHexadecimal() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=0x75\n", keyF10, keyF6);
}

void settingsEmptyValue() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=\n", keyF10, keyF6);
}

void settingsNotANumber() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=reload\n", keyF10, keyF6);
}

void settingsWithByteOrderMark() {
    settingsScenario("\xEF\xBB\xBF[BrackenfoldConfig]\r\nReloadKey=117\r\n", keyF6, keyF10);
}

void settingsIsADirectory() {
    enterOwnDirectory();
    if (CreateDirectoryA("BrackenfoldConfig.ini", nullptr) == 0) {
        fail("cannot make the directory BrackenfoldConfig.ini");
    }
    const Plugin plugin = loadPlugin();
    expectReloadKey(keyF10, keyF6);
    unloadPlugin(plugin);
}

void settingsHugeJunk() {
    enterOwnDirectory();
    std::string junk(30u << 20, '\0');
    std::uint32_t state = 0x2545F491u;
    for (char& byte : junk) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    writeSettings(junk);
    const Plugin plugin = loadPlugin();
    expectReloadKey(keyF10, keyF6);
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
}

void unloadWithdrawsRegistrations() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    for (int frame = 0; frame < 3; ++frame) {
        expectFrame(idleFrame(), "an idle frame");
    }
    unloadPlugin(plugin);
}

// The stand-in itself: the routine's bytes are the signature, they occur once in
// the image, a whole page lies right before the routine, and an exception unwinds
// through the routine's prologue.
void gameImageIsSound() {
    const std::vector<std::uint8_t> signature = signatureBytes();
    if (signature.size() != 34 || std::memcmp(routineEntry(), signature.data(), signature.size()) != 0) {
        fail("the routine does not start with the 34 signature bytes");
    }
    const std::vector<const std::uint8_t*> found = signatureOccurrences();
    if (found.size() != 1 || found[0] != routineEntry()) {
        fail("the signature occurs %zu times in the image; once, at the routine, expected", found.size());
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

// The plug-in's main job, told as a transcript a person can follow: what the game
// and the player did, and every call the host saw. Runs in the current directory,
// where a player's BrackenfoldConfig.ini would be.
void printTranscript(std::uint32_t mark) {
    for (const HostRecord& record : recordsSince(mark)) {
        const bool game = record.call == HostCall::GameRoutine;
        std::printf("  %s  %s\n", game ? "game:" : "host:", describe(record).c_str());
    }
}

void mainJob() {
    std::printf("[game]   RDR2.exe started; the script host ScriptHookRDR2.dll is loaded\n");
    std::printf("[game]   loads the plug-in Brackenfold.asi\n");
    std::uint32_t mark = standinRecordCount();
    const Plugin plugin = loadPlugin();
    printTranscript(mark);
    std::printf("[player] presses F10\n");
    mark = standinRecordCount();
    press(keyF10);
    expectFrame(idleFrame(), "a frame while F10 is down");
    printTranscript(mark);
    std::printf("[player] releases F10\n");
    mark = standinRecordCount();
    release(keyF10);
    expectFrame(reloadFrame(), "the frame after F10 is released");
    printTranscript(mark);
    for (const HostRecord& record : recordsSince(mark)) {
        if (record.call == HostCall::NativePush64) {
            std::printf("[screen] %s\n", textAt(record.first).value_or("?").c_str());
        }
    }
    std::printf("[game]   unloads the plug-in\n");
    mark = standinRecordCount();
    unloadPlugin(plugin);
    printTranscript(mark);
}

struct Scenario {
    const char* name;
    void (*run)();
};

const Scenario scenarios[] = {
    {"game_image_is_sound", gameImageIsSound},
    {"registration_at_load", registrationAtLoad},
    {"idle_frames_only_wait", idleFramesOnlyWait},
    {"release_of_f10_reloads", releaseOfF10Reloads},
    {"stale_release_is_ignored", staleReleaseIsIgnored},
    {"two_releases_give_one_reload", twoReleasesGiveOneReload},
    {"keys_from_another_thread", keysFromAnotherThread},
    {"settings_choose_f6", settingsChooseF6},
    {"settings_name_f6", settingsNameF6},
    {"settings_out_of_range", settingsOutOfRange},
    {"settings_hexadecimal", settingsHexadecimal},
    {"settings_empty_value", settingsEmptyValue},
    {"settings_not_a_number", settingsNotANumber},
    {"settings_with_byte_order_mark", settingsWithByteOrderMark},
    {"settings_is_a_directory", settingsIsADirectory},
    {"settings_huge_junk", settingsHugeJunk},
    {"signature_patched_then_restored", signaturePatchedThenRestored},
    {"no_access_page_without_signature", noAccessPageWithoutSignature},
    {"no_access_page_before_routine", noAccessPageBeforeRoutine},
    {"other_process_name", otherProcessName},
    {"unload_withdraws_registrations", unloadWithdrawsRegistrations},
    {"main_job", mainJob},
};

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(reportCrash);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
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
