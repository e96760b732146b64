#include "tests/standin/driver.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tests/standin/game_image.h"

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

std::vector<Want> silentReloadFrame() {
    return {{HostCall::Frame}, {HostCall::GameRoutine, std::nullopt, dataName}, {HostCall::ScriptWait, 0}};
}

void expectFrame(const std::vector<Want>& wants, const char* what) {
    const std::uint32_t mark = standinRecordCount();
    standinRunFrame();
    expectRecords(mark, wants, what);
}

void press(unsigned long key, bool otherThread) {
    standinSendKey(key, 0, otherThread ? 1 : 0);
}

void release(unsigned long key, bool otherThread, bool withAlt) {
    standinSendKeyWithAlt(key, 1, withAlt ? 1 : 0, otherThread ? 1 : 0);
}

void pressAndRelease(unsigned long key, bool otherThread) {
    press(key, otherThread);
    release(key, otherThread);
}

FrameRun summarize(const std::vector<HostRecord>& records) {
    FrameRun run{records, {}, 0};
    for (const HostRecord& record : records) {
        if (record.call == HostCall::NativePush64) {
            run.shown.push_back(textAt(record.first).value_or("?"));
        } else if (record.call == HostCall::GameRoutine) {
            ++run.routineCalls;
        }
    }
    return run;
}

FrameRun runFramesFor(DWORD milliseconds) {
    const std::uint32_t mark = standinRecordCount();
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        standinRunFrame();
        Sleep(10);
    }
    return summarize(recordsSince(mark));
}

void expectRun(const FrameRun& run, int routineCalls, const std::vector<std::string>& shown, const char* what) {
    if (run.routineCalls != routineCalls || run.shown != shown) {
        printRecords(run.records);
        fail("%s: %d routine calls and %zu texts shown; %d and %zu expected", what, run.routineCalls,
             run.shown.size(), routineCalls, shown.size());
    }
}

namespace {

HMODULE moduleOf(std::uint64_t address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<const char*>(static_cast<std::uintptr_t>(address)), &module);
    return module;
}

std::uint64_t address(const void* pointer) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

}  // namespace

HMODULE loadLibrary(const std::string& path, Loader loader) {
    if (loader == Loader::scriptHost) {
        return LoadLibraryW(wide(path).c_str());
    }
    const std::string game = currentDirectory();
    const std::string folder = path.substr(0, path.find_last_of('\\'));
    if (SetCurrentDirectoryW(wide(folder).c_str()) == 0) {
        fail("cannot make %s current (error %lu)", folder.c_str(), GetLastError());
    }
    const HMODULE module = LoadLibraryW(wide(path).c_str());
    const DWORD error = GetLastError();
    if (SetCurrentDirectoryW(wide(game).c_str()) == 0) {
        fail("cannot make the game's folder current again (error %lu)", GetLastError());
    }
    SetLastError(error);
    return module;
}

Plugin loadRegisteredPlugin(const std::string& path, Loader loader) {
    const std::string file = path.empty() ? currentDirectory() + "\\Brackenfold.asi" : path;
    const std::uint32_t mark = standinRecordCount();
    const HMODULE module = loadLibrary(file, loader);
    if (module == nullptr) {
        fail("LoadLibraryW(\"%s\") failed with error %lu", file.c_str(), GetLastError());
    }
    expectRecords(mark,
                  {{HostCall::ScriptRegister, address(module)}, {HostCall::KeyboardHandlerRegister}},
                  "loading the plug-in");
    const std::vector<HostRecord> records = recordsSince(mark);
    const Plugin plugin{module, records[0].second, records[1].first};
    if (moduleOf(plugin.script) != module || moduleOf(plugin.handler) != module) {
        fail("the script function and the keyboard handler must lie in the plug-in's own image");
    }
    return plugin;
}

Plugin loadPlugin(const char* firstNotice, const std::string& path, Loader loader) {
    const Plugin plugin = loadRegisteredPlugin(path, loader);
    expectFrame(firstNotice != nullptr ? messageFrame(firstNotice, false) : idleFrame(),
                "the first frame, in which the script starts");
    return plugin;
}

HMODULE loadIdleCopy(const std::string& path, Loader loader) {
    const std::uint32_t mark = standinRecordCount();
    const HMODULE copy = loadLibrary(path, loader);
    if (copy == nullptr) {
        fail("LoadLibraryW(\"%s\") failed with error %lu", path.c_str(), GetLastError());
    }
    expectRecords(mark, {}, ("loading " + path + ", a copy that stays idle").c_str());
    return copy;
}

void unloadIdleCopy(HMODULE copy) {
    const std::uint32_t mark = standinRecordCount();
    FreeLibrary(copy);
    expectRecords(mark, {}, "unloading a copy that stayed idle");
}

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

void expectShownOnceWithin(const std::string& text, DWORD limit) {
    FrameRun run = runFramesFor(0);
    const ULONGLONG end = GetTickCount64() + limit;
    while (run.shown.empty() && GetTickCount64() < end) {
        run = runFramesFor(50);
    }
    const FrameRun after = runFramesFor(300);
    if (run.shown != std::vector<std::string>{text} || !after.shown.empty() || run.routineCalls != 0) {
        printRecords(run.records);
        fail("\"%s\" was not shown once within %lu ms", text.c_str(), limit);
    }
}

void expectReloadKey(unsigned long reloads, unsigned long ignored) {
    pressAndRelease(ignored);
    expectFrame(idleFrame(), ("a release of " + keyName(ignored) + ", which is not the reload key").c_str());
    pressAndRelease(reloads);
    expectFrame(reloadFrame(), ("a release of " + keyName(reloads) + ", the reload key").c_str());
    expectFrame(idleFrame(), "the frame after the reload");
}

void settingsScenario(const std::string& settings, unsigned long reloads, unsigned long ignored,
                      const char* firstNotice) {
    enterOwnDirectory();
    writeSettings(settings);
    const Plugin plugin = loadPlugin(firstNotice);
    expectReloadKey(reloads, ignored);
    unloadPlugin(plugin);
}

ProtectedPage::ProtectedPage(const std::uint8_t* page, DWORD protection) : page_(const_cast<std::uint8_t*>(page)) {
    if (VirtualProtect(page_, pageSize, protection, &previous_) == 0) {
        fail("VirtualProtect failed with error %lu", GetLastError());
    }
}

ProtectedPage::~ProtectedPage() {
    DWORD ignored = 0;
    VirtualProtect(page_, pageSize, previous_, &ignored);
    FlushInstructionCache(GetCurrentProcess(), page_, pageSize);
}

namespace {

const std::uint8_t* pageOf(const std::uint8_t* address) {
    return reinterpret_cast<const std::uint8_t*>(reinterpret_cast<std::uintptr_t>(address) & ~(pageSize - 1));
}

}  // namespace

PatchedRoutine::PatchedRoutine() : page_(pageOf(routineEntry()), PAGE_EXECUTE_READWRITE) {
    original_ = *routineEntry();
    *const_cast<std::uint8_t*>(routineEntry()) = 0xCC;
    if (!signatureOccurrences().empty()) {
        fail("the signature is still in the image after patching");
    }
}

PatchedRoutine::~PatchedRoutine() { *const_cast<std::uint8_t*>(routineEntry()) = original_; }

void expectNoAccess(const std::uint8_t* page) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(page, &info, sizeof info) == 0 || info.Protect != PAGE_NOACCESS) {
        fail("the page before the routine is not no-access");
    }
}