#include "tests/standin/game_image.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/pe_layout.h"
#include "tests/scan_reference.h"
#include "tests/standin/standin_host.h"

// The routine's first 34 bytes are written out byte for byte: an assembler may pick
// other encodings (mov rbp, rsp as 48 89 E5). The unwind data describes the same
// prologue, so exceptions and debuggers can walk through it; save offsets count from
// the frame pointer, which holds the stack pointer after the five pushes.
// The body hands the text, and the stack pointer it had on entry, to the record
// keeping. Sorting puts .text$zzzz_pad right before .text$zzzz_routine, at the end
// of .text.
asm(R"(
    .section .text$zzzz_pad,"xr"
    .p2align 12
    .globl standinRoutinePadding
standinRoutinePadding:
    .fill 8192, 1, 0xCC

    .section .text$zzzz_routine,"xr"
    .p2align 4
    .globl standinReloadRoutine
    .def standinReloadRoutine; .scl 2; .type 32; .endef
    .seh_proc standinReloadRoutine
standinReloadRoutine:
    .byte 0x48, 0x89, 0x5C, 0x24, 0x08
    .seh_savereg %rbx, 48
    .byte 0x48, 0x89, 0x74, 0x24, 0x18
    .seh_savereg %rsi, 64
    .byte 0x48, 0x89, 0x7C, 0x24, 0x20
    .seh_savereg %rdi, 72
    .byte 0x55
    .seh_pushreg %rbp
    .byte 0x41, 0x54
    .seh_pushreg %r12
    .byte 0x41, 0x55
    .seh_pushreg %r13
    .byte 0x41, 0x56
    .seh_pushreg %r14
    .byte 0x41, 0x57
    .seh_pushreg %r15
    .byte 0x48, 0x8B, 0xEC
    .seh_setframe %rbp, 0
    .byte 0x48, 0x83, 0xEC, 0x60
    .seh_stackalloc 0x60
    .seh_endprologue
    .byte 0x48, 0x8B, 0xD9
    movq %rbx, %rcx
    leaq 40(%rbp), %rdx
    call standinNoteRoutineCall
    movq 48(%rbp), %rbx
    movq 64(%rbp), %rsi
    movq 72(%rbp), %rdi
    leaq 0(%rbp), %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbp
    ret
    .seh_endproc
    .text
)");

namespace {

const char signatureText[] =
    "48 89 5C 24 08 48 89 74 24 18 48 89 7C 24 20 55 41 54 41 55 41 56 41 57 48 8B EC 48 83 EC 60 48 8B D9";

bool unwindCheck = false;
std::string unwindProblem;
std::string lastLogLine;

// Whether a mod's data file holds the marker that stops the game.
bool modHoldsTheStopMarker() {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(L"lml\\*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool marked = false;
    do {
        const std::wstring path = std::wstring(L"lml\\") + found.cFileName + L"\\VegetationModifiers.meta";
        std::FILE* file = _wfopen(path.c_str(), L"rb");
        if (file == nullptr) {
            continue;
        }
        std::string text(1 << 16, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), file));
        std::fclose(file);
        marked = marked || text.find(gameStopsMarker) != std::string::npos;
    } while (!marked && FindNextFileW(search, &found) != 0);
    FindClose(search);
    return marked;
}

std::string readLastLogLine() {
    const HANDLE file = CreateFileW(L"Brackenfold.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "no log";
    }
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text.substr(text.rfind('\n') + 1);
}

bool readable(const MEMORY_BASIC_INFORMATION& info) {
    constexpr DWORD anyRead = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                              PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return info.State == MEM_COMMIT && (info.Protect & PAGE_GUARD) == 0 && (info.Protect & anyRead) != 0;
}

// Walks the stack with the system's unwinder from here out of the routine, and
// compares what it restores with what the routine saved at `entryStack`, its
// stack pointer on entry: the return address, rbx, rsi and rdi in the caller's
// home slots, and the five pushed registers below it.
__attribute__((noinline)) std::string unwindProblemFrom(const std::uint64_t* entryStack) {
    CONTEXT context{};
    RtlCaptureContext(&context);
    const auto routine = reinterpret_cast<DWORD64>(&standinReloadRoutine);
    bool leftRoutine = false;
    for (int depth = 0; depth < 8 && !leftRoutine; ++depth) {
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        if (function == nullptr) {
            return "no unwind data on the way out of the routine";
        }
        leftRoutine = imageBase + function->BeginAddress == routine;
        void* handlerData = nullptr;
        DWORD64 establisherFrame = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                         &establisherFrame, nullptr);
    }
    if (!leftRoutine) {
        return "the unwinder never reached the routine";
    }
    const auto* stack = entryStack;
    if (context.Rsp != reinterpret_cast<DWORD64>(stack + 1) || context.Rip != stack[0]) {
        return "unwinding the routine gives a wrong return address or stack pointer";
    }
    if (context.Rbx != stack[1] || context.Rsi != stack[3] || context.Rdi != stack[4]) {
        return "unwinding the routine restores rbx, rsi or rdi wrongly";
    }
    if (context.Rbp != stack[-1] || context.R12 != stack[-2] || context.R13 != stack[-3] ||
        context.R14 != stack[-4] || context.R15 != stack[-5]) {
        return "unwinding the routine restores a pushed register wrongly";
    }
    return "";
}

}  // namespace

extern "C" void standinNoteRoutineCall(const char* dataName, const std::uint64_t* entryStack) {
    standinNote(HostCall::GameRoutine, reinterpret_cast<std::uintptr_t>(dataName), dataName);
    lastLogLine = readLastLogLine();
    if (modHoldsTheStopMarker()) {
        TerminateProcess(GetCurrentProcess(), gameStoppedExitCode);
    }
    if (unwindCheck) {
        unwindProblem = unwindProblemFrom(entryStack);
        throw std::runtime_error("thrown inside the game routine");
    }
}

const char gameStopsMarker[] = "<!-- the stand-in game stops in its routine -->";

const std::string& logLineAtRoutineCall() { return lastLogLine; }

const std::uint8_t* routineEntry() {
    return reinterpret_cast<const std::uint8_t*>(&standinReloadRoutine);
}

const std::uint8_t* pageBeforeRoutine() {
    return reinterpret_cast<const std::uint8_t*>(standinRoutinePadding) + pageSize;
}

namespace {

const std::uint8_t* imageBase() { return reinterpret_cast<const std::uint8_t*>(GetModuleHandleA(nullptr)); }

void count(MemoryKinds& kinds, std::uint64_t bytes, bool committed, std::uint32_t protection) {
    if (committed && reference::isCode(protection)) {
        kinds.code += bytes;
    } else if (committed && reference::isData(protection)) {
        kinds.data += bytes;
    } else {
        kinds.unreadable += bytes;
    }
}

}  // namespace

std::uint64_t gameImageSize() { return pe::readLayout(imageBase(), pageSize).imageSize; }

std::uint64_t routineOffset() { return static_cast<std::uint64_t>(routineEntry() - imageBase()); }

std::string routineText() {
    char text[64];
    std::snprintf(text, sizeof text, "RDR2.exe+0x%" PRIX64, routineOffset());
    return text;
}

MemoryKinds mappedKinds(std::uint64_t end) {
    MemoryKinds kinds;
    for (const pe::Range& range : pe::mappedRanges(pe::readLayout(imageBase(), pageSize))) {
        if (range.begin < end) {
            count(kinds, std::min<std::uint64_t>(range.end, end) - range.begin, true, range.protection);
        }
    }
    return kinds;
}

MemoryKinds queriedKinds(std::uint64_t end) {
    MemoryKinds kinds;
    const std::uint8_t* const base = imageBase();
    std::uint64_t offset = 0;
    while (offset < end) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(base + offset, &info, sizeof info) == 0) {
            count(kinds, end - offset, false, 0);
            break;
        }
        const auto regionEnd = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(info.BaseAddress) - base) +
                               info.RegionSize;
        const std::uint64_t stop = std::min(regionEnd, end);
        count(kinds, stop - offset, info.State == MEM_COMMIT, info.Protect);
        offset = stop;
    }
    return kinds;
}

std::string searchedText(const MemoryKinds& kinds) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "(searched %" PRIu64 " bytes of code, skipped %" PRIu64 " bytes of data and %" PRIu64
                  " unreadable bytes)",
                  kinds.code, kinds.data, kinds.unreadable);
    return text;
}

std::vector<std::uint8_t> signatureBytes() {
    std::vector<std::uint8_t> bytes;
    const char* cursor = signatureText;
    while (*cursor != '\0') {
        char* end = nullptr;
        bytes.push_back(static_cast<std::uint8_t>(std::strtoul(cursor, &end, 16)));
        cursor = *end == ' ' ? end + 1 : end;
    }
    return bytes;
}

std::vector<const std::uint8_t*> signatureOccurrences() {
    const auto* base = reinterpret_cast<const std::uint8_t*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const std::uint8_t* const end = base + nt->OptionalHeader.SizeOfImage;
    const std::vector<std::uint8_t> pattern = signatureBytes();

    // Adjacent readable regions are searched as one run, so no occurrence is missed
    // where two regions meet.
    std::vector<const std::uint8_t*> found;
    const auto searchRun = [&](const std::uint8_t* first, const std::uint8_t* last) {
        for (const std::uint8_t* at = first; at + pattern.size() <= last; ++at) {
            if (std::memcmp(at, pattern.data(), pattern.size()) == 0) {
                found.push_back(at);
            }
        }
    };
    const std::uint8_t* runStart = nullptr;
    const std::uint8_t* region = base;
    while (region < end) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(region, &info, sizeof info) == 0) {
            break;
        }
        const auto* regionEnd = static_cast<const std::uint8_t*>(info.BaseAddress) + info.RegionSize;
        if (regionEnd > end) {
            regionEnd = end;
        }
        if (readable(info) && runStart == nullptr) {
            runStart = region;
        } else if (!readable(info) && runStart != nullptr) {
            searchRun(runStart, region);
            runStart = nullptr;
        }
        region = regionEnd;
    }
    if (runStart != nullptr) {
        searchRun(runStart, region);
    }
    return found;
}

std::string checkUnwindThroughRoutine() {
    unwindCheck = true;
    unwindProblem = "the routine was not called";
    bool caught = false;
    try {
        standinReloadRoutine("unwind check");
    } catch (const std::runtime_error&) {
        caught = true;
    }
    unwindCheck = false;
    if (!caught) {
        return "the exception did not come out of the routine";
    }
    return unwindProblem;
}
