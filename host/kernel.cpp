#include "host/kernel.h"

#include <algorithm>
#include <new>

#include "host/long_path.h"
#include "host/utf16.h"
#include "host/win32.h"

namespace {

using WideText = std::basic_string<WCHAR>;

// The longest path Windows takes, in UTF-16 units, with its NUL.
constexpr DWORD longestPath = 32'768;

HANDLE windowsHandle(FileHandle file) { return file != nullptr ? static_cast<HANDLE>(file) : INVALID_HANDLE_VALUE; }

std::uint64_t joined(DWORD high, DWORD low) {
    return static_cast<std::uint64_t>(high) << 32 | static_cast<std::uint32_t>(low);
}

// Calls `get(buffer, size)`, which gives the units written or, when the buffer is
// too small, the size needed (or, where `cutGivesSize`, the size given, as
// GetModuleFileNameW does), with a larger buffer until the answer fits.
template <typename Get>
std::string askForText(bool cutGivesSize, Get get) {
    WideText buffer;
    DWORD size = MAX_PATH;
    for (;;) {
        buffer.assign(size, WCHAR{});
        const DWORD got = get(buffer.data(), size);
        if (got == 0) {
            return {};
        }
        if (got < size) {
            return narrow(buffer.data(), got);
        }
        if (size == longestPath) {
            return {};
        }
        size = std::min(cutGivesSize ? size * 2 : got, longestPath);
    }
}

std::string currentDirectory() {
    return askForText(false, [](WCHAR* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
}

// The path as Windows is handed it: absolute, "\\?\" first, NUL-terminated;
// `pattern` is appended to it (the wildcard of a listing). Empty on failure.
WideText windowsPath(std::string_view path, std::string_view pattern = {}) {
    try {
        std::string absolute = longPath(path, currentDirectory());
        if (absolute.empty()) {
            return {};
        }
        if (!pattern.empty()) {
            if (absolute.back() != '\\') {
                absolute += '\\';
            }
            absolute.append(pattern);
        }
        return widen<WCHAR>(absolute);
    } catch (...) {
        return {};
    }
}

// The name of a found entry into `entry`, cut between characters if it were ever
// longer than the room for it.
void takeEntry(const WIN32_FIND_DATAW& found, FolderEntry& entry) {
    std::size_t length = 0;
    std::size_t units = 0;
    while (units < MAX_PATH && found.cFileName[units] != 0) {
        ++units;
    }
    bool full = false;
    char* const name = entry.name;
    narrowTo(found.cFileName, units, [&](char byte) {
        if (length + 1 < sizeof entry.name && !full) {
            name[length++] = byte;
        } else {
            full = true;
        }
    });
    if (full) {
        length = cutBetweenCharacters(std::string_view(name, length), length);
    }
    name[length] = '\0';
    entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

std::uint32_t tickCount() { return static_cast<std::uint32_t>(GetTickCount()); }

LocalTime localTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

long long performanceCount() {
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

long long performanceFrequency() {
    LARGE_INTEGER frequency{};
    return QueryPerformanceFrequency(&frequency) != 0 ? frequency.QuadPart : 0;
}

std::uint32_t processId() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

ModuleHandle moduleNamed(const char* name) { return GetModuleHandleA(name); }

std::string modulePath(ModuleHandle module) {
    try {
        return askForText(true,
                          [&](WCHAR* buffer, DWORD size) { return GetModuleFileNameW(module, buffer, size); });
    } catch (...) {
        return {};
    }
}

std::vector<ModuleHandle> processModules() {
    try {
        std::vector<HMODULE> modules(512);
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD needed = 0;
            const auto bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
            if (K32EnumProcessModules(GetCurrentProcess(), modules.data(), bytes, &needed) == 0) {
                return {};
            }
            if (needed <= bytes) {
                modules.resize(needed / sizeof(HMODULE));
                return {modules.begin(), modules.end()};
            }
            // More were loaded than there was room for: ask again with room for them.
            modules.resize(needed / sizeof(HMODULE) + 64);
        }
    } catch (...) {
    }
    return {};
}

bool holdModule(ModuleHandle module) {
    HMODULE held = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(module), &held) == 0) {
        return false;
    }
    // Another module at that address now: not the one listed.
    if (held != module) {
        FreeLibrary(held);
        return false;
    }
    return true;
}

void letModuleGo(ModuleHandle module) { FreeLibrary(module); }

bool moduleVersionResource(ModuleHandle module, const std::uint8_t*& data, std::size_t& size) {
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    if (resource == nullptr) {
        return false;
    }
    const HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return false;
    }
    data = static_cast<const std::uint8_t*>(bytes);
    size = SizeofResource(module, resource);
    return true;
}

bool regionAt(const void* address, MemoryRegion& region) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(address, &info, sizeof info) == 0) {
        return false;
    }
    constexpr DWORD code = PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    constexpr DWORD data = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY;
    const bool usable = info.State == MEM_COMMIT && (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
    region.base = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
    region.size = info.RegionSize;
    region.access = !usable                     ? RegionAccess::none
                    : (info.Protect & code) != 0 ? RegionAccess::code
                    : (info.Protect & data) != 0 ? RegionAccess::data
                                                 : RegionAccess::none;
    return true;
}

NameClaim claimName(const char* name, void*& object) {
    const HANDLE mutex = CreateMutexA(nullptr, 0, name);
    if (mutex == nullptr) {
        return NameClaim::failed;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return NameClaim::heldElsewhere;
    }
    object = mutex;
    return NameClaim::claimed;
}

void releaseName(void* object) {
    if (object != nullptr) {
        CloseHandle(object);
    }
}

FileHandle openFile(std::string_view path, FileOpen how) {
    const WideText name = windowsPath(path);
    if (name.empty()) {
        return nullptr;
    }
    const HANDLE file =
        how == FileOpen::read
            ? CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
            : CreateFileW(name.c_str(), GENERIC_WRITE, how == FileOpen::replace ? FILE_SHARE_READ : 0, nullptr,
                          how == FileOpen::replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool readFile(FileHandle file, void* data, std::uint32_t size, std::uint32_t& got) {
    DWORD done = 0;
    const bool read = ReadFile(windowsHandle(file), data, size, &done, nullptr) != 0;
    got = read ? static_cast<std::uint32_t>(done) : 0;
    return read;
}

bool writeFile(FileHandle file, const void* data, std::uint32_t size) {
    DWORD done = 0;
    return WriteFile(windowsHandle(file), data, size, &done, nullptr) != 0 && done == size;
}

bool rewriteFile(FileHandle file, const void* data, std::uint32_t size) {
    const HANDLE handle = windowsHandle(file);
    LARGE_INTEGER start{};
    DWORD done = 0;
    return file != nullptr && SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) != 0 &&
           (size == 0 || (WriteFile(handle, data, size, &done, nullptr) != 0 && done == size)) &&
           SetEndOfFile(handle) != 0;
}

void closeFile(FileHandle file) {
    if (file != nullptr) {
        CloseHandle(file);
    }
}

bool readWholeFile(std::string_view path, std::string& bytes) {
    const FileHandle file = openFile(path, FileOpen::read);
    if (file == nullptr) {
        return false;
    }
    std::size_t done = 0;
    bool failed = false;
    while (!failed && done < bytes.size()) {
        std::uint32_t got = 0;
        const std::size_t step = std::min<std::size_t>(bytes.size() - done, std::size_t{1} << 24);
        failed = !readFile(file, bytes.data() + done, static_cast<std::uint32_t>(step), got);
        done += got;
        // Shorter than its size said: it shrank since, and what was read is kept.
        if (got == 0) {
            break;
        }
    }
    closeFile(file);
    bytes.resize(done);
    return !failed;
}

PathInfo queryPath(std::string_view path) {
    const WideText name = windowsPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (name.empty() || GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data) == 0) {
        return {};
    }
    PathInfo info;
    info.exists = true;
    info.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.writeTime = joined(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    info.size = joined(data.nFileSizeHigh, data.nFileSizeLow);
    return info;
}

bool makeFolder(std::string_view path) {
    const WideText name = windowsPath(path);
    return !name.empty() && CreateDirectoryW(name.c_str(), nullptr) != 0;
}

bool deleteFile(std::string_view path) {
    const WideText name = windowsPath(path);
    return !name.empty() && DeleteFileW(name.c_str()) != 0;
}

bool moveFile(std::string_view from, std::string_view to, FileMove how) {
    const WideText source = windowsPath(from);
    const WideText target = windowsPath(to);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    // MoveFileExW would move a folder too.
    if (source.empty() || target.empty() || GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data) == 0 ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    return MoveFileExW(source.c_str(), target.c_str(), how == FileMove::replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}

Failure lastFailure() {
    struct Known {
        DWORD code;
        FailureKind kind;
        const char* reason;
    };
    static const Known known[] = {
        {ERROR_FILE_NOT_FOUND, FailureKind::notFound, "not found"},
        {ERROR_PATH_NOT_FOUND, FailureKind::notFound, "not found"},
        {ERROR_ACCESS_DENIED, FailureKind::accessDenied, "access denied"},
        {ERROR_SHARING_VIOLATION, FailureKind::inUse, "in use by another program"},
        {ERROR_LOCK_VIOLATION, FailureKind::inUse, "in use by another program"},
        {ERROR_HANDLE_DISK_FULL, FailureKind::diskFull, "the disk is full"},
        {ERROR_DISK_FULL, FailureKind::diskFull, "the disk is full"},
        {ERROR_FILE_EXISTS, FailureKind::nameTaken, "the name is taken"},
        {ERROR_ALREADY_EXISTS, FailureKind::nameTaken, "the name is taken"},
    };
    Failure failure;
    const DWORD code = GetLastError();
    failure.code = static_cast<std::uint32_t>(code);
    for (const Known& entry : known) {
        if (entry.code == code) {
            failure.kind = entry.kind;
            failure.reason = entry.reason;
        }
    }
    return failure;
}

FolderSearch openFolderSearch(std::string_view folder, FolderEntry& first) {
    const WideText pattern = windowsPath(folder, "*");
    if (pattern.empty()) {
        return nullptr;
    }
    WIN32_FIND_DATAW found{};
    // The basic level leaves out the short names; the default batch keeps each fetch short.
    const HANDLE search =
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    takeEntry(found, first);
    return search;
}

bool nextFolderEntry(FolderSearch search, FolderEntry& entry) {
    WIN32_FIND_DATAW found{};
    if (search == nullptr || FindNextFileW(search, &found) == 0) {
        return false;
    }
    takeEntry(found, entry);
    return true;
}

void closeFolderSearch(FolderSearch search) {
    if (search != nullptr) {
        FindClose(search);
    }
}

std::string currentFolder() {
    try {
        return currentDirectory();
    } catch (...) {
        return {};
    }
}

std::string environmentValue(const char* name) {
    try {
        const WideText wideName = widen<WCHAR>(name);
        return askForText(false, [&](WCHAR* buffer, DWORD size) {
            return GetEnvironmentVariableW(wideName.c_str(), buffer, size);
        });
    } catch (...) {
        return {};
    }
}

std::string textFromAnsi(std::string_view bytes) {
    try {
        const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), INT32_MAX / 2));
        if (size == 0) {
            return {};
        }
        const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
        if (units <= 0) {
            return {};
        }
        WideText wide(static_cast<std::size_t>(units), WCHAR{});
        const int done = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), units);
        return narrow(wide.data(), static_cast<std::size_t>(std::max(done, 0)));
    } catch (...) {
        return {};
    }
}

std::string textFromUtf16(std::string_view bytes, bool bigEndian) {
    try {
        std::u16string wide(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < wide.size(); ++i) {
            const auto first = static_cast<unsigned char>(bytes[2 * i]);
            const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
            wide[i] = static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
        }
        return narrow(wide);
    } catch (...) {
        return {};
    }
}
