// The simulated kernel's files and folders: real files of this machine behind the
// wide calls. Only the long form of a path that the kernel door makes is taken,
// "\\?\Z:\...", with Z: as the root of the Linux tree (as Wine has it); a path in
// any other form, or with a part Windows would not resolve in that form, is refused.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "host/utf16.h"
#include "host/win32.h"
#include "tests/sim/sim.h"
#include "tests/sim/sim_internal.h"

namespace sim {
namespace {

// About what Windows reads of a folder in one system call without the large fetch.
constexpr std::size_t batchSize = 4096;

struct Listing {
    int folder = -1;
    std::vector<char> batch;
    std::size_t filled = 0;
    std::size_t at = 0;
};
std::map<std::uintptr_t, Listing> listings;
std::size_t fileQueryCount = 0;
std::map<std::string, std::size_t, std::less<>> readCounts;  // files opened for reading, by Linux path
std::size_t batchCount = 0;
std::size_t refusedCount = 0;

struct Refusal {
    FileCall call;
    std::string nameEnding;
    DWORD error;
};
std::vector<Refusal> refusals;

// Whether `call` on the file at the Linux path `path` is refused; when it is, the error is set.
bool refused(FileCall call, const std::string& path) {
    for (const Refusal& refusal : refusals) {
        if (refusal.call == call && path.size() >= refusal.nameEnding.size() &&
            path.compare(path.size() - refusal.nameEnding.size(), std::string::npos, refusal.nameEnding) == 0) {
            lastError = refusal.error;
            return true;
        }
    }
    return false;
}

// The Linux path of an open file.
std::string pathOf(int descriptor) {
    char link[64];
    char path[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    const ssize_t size = readlink(link, path, sizeof path - 1);
    return size < 0 ? std::string() : std::string(path, static_cast<std::size_t>(size));
}

// Windows's code for what Linux said; false, for the caller to return.
bool failed() {
    lastError = errno == ENOENT    ? ERROR_FILE_NOT_FOUND
                : errno == EEXIST  ? ERROR_FILE_EXISTS
                : errno == ENOSPC  ? ERROR_DISK_FULL
                                   : ERROR_ACCESS_DENIED;
    return false;
}

bool refuse() {
    ++refusedCount;
    lastError = ERROR_PATH_NOT_FOUND;
    return false;
}

// The Linux path of `wide`; with `pattern`, of the folder of "<folder>\*".
bool linuxPath(LPCWSTR wide, std::string& path, bool pattern = false) {
    std::string text = narrow(wide, std::char_traits<char16_t>::length(wide));
    const std::string_view root = "\\\\?\\Z:\\";
    if (text.compare(0, root.size(), root) != 0 || text.find('/') != std::string::npos) {
        return refuse();
    }
    if (pattern) {
        if (text.size() < 2 || text.compare(text.size() - 2, 2, "\\*") != 0) {
            return refuse();
        }
        text.resize(text.size() - 2);
    }
    const std::string_view rest = std::string_view(text).substr(root.size());
    for (std::size_t start = 0; start < rest.size();) {
        const std::size_t end = std::min(rest.find('\\', start), rest.size());
        const std::string_view part = rest.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || end == rest.size() - 1) {
            return refuse();
        }
        start = end + 1;
    }
    path.assign(1, '/');
    path += rest;
    std::replace(path.begin(), path.end(), '\\', '/');
    return true;
}

// Windows counts 100-ns steps from 1601; Unix seconds from 1970.
FILETIME fileTime(const struct stat& status) {
    const std::uint64_t time = (static_cast<std::uint64_t>(status.st_mtim.tv_sec) + 11'644'473'600ULL) * 10'000'000ULL +
                               static_cast<std::uint64_t>(status.st_mtim.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(time & 0xFFFF'FFFF), static_cast<DWORD>(time >> 32)};
}

HANDLE fileHandle(int descriptor) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(descriptor) + 1); }
int descriptorOf(HANDLE handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1); }

// The Linux layout of one directory record, as getdents64 writes it.
struct DirectoryRecord {
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

// The next entry of a listing, as a folder's own records give it, read in batches
// the way Windows reads them: its name and whether it is a folder or a link (a
// reparse point, with the folder bit when it leads to one). Sizes and times stay 0:
// reading them would cost a query per entry that a listing on Windows does not make.
bool nextEntry(Listing& listing, WIN32_FIND_DATAW* found) {
    if (listing.at >= listing.filled) {
        ++batchCount;
        const long got = syscall(SYS_getdents64, listing.folder, listing.batch.data(), listing.batch.size());
        if (got <= 0) {
            return false;
        }
        listing.filled = static_cast<std::size_t>(got);
        listing.at = 0;
    }
    const auto* record = reinterpret_cast<const DirectoryRecord*>(listing.batch.data() + listing.at);
    listing.at += record->length;
    const char* const name = record->name;
    *found = WIN32_FIND_DATAW{};
    const std::u16string wide = widen<char16_t>(name);
    std::copy_n(wide.data(), std::min<std::size_t>(wide.size(), MAX_PATH - 1), found->cFileName);
    unsigned char type = record->type;
    struct stat status {};
    if (type == DT_UNKNOWN && fstatat(listing.folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
    }
    if (type == DT_LNK) {
        found->dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
        if (fstatat(listing.folder, name, &status, 0) == 0 && S_ISDIR(status.st_mode)) {
            found->dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
        }
    } else {
        found->dwFileAttributes = type == DT_DIR ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    }
    return true;
}

}  // namespace

void resetFiles() {
    for (auto& [handle, listing] : listings) {
        close(listing.folder);
    }
    listings.clear();
    fileQueryCount = 0;
    readCounts.clear();
    batchCount = 0;
    refusedCount = 0;
    refusals.clear();
}

void refuseFileCall(FileCall call, const std::string& nameEnding, std::uint32_t error) {
    refusals.push_back({call, nameEnding, static_cast<DWORD>(error)});
}

void allowFileCalls() { refusals.clear(); }

std::size_t fileQueries() { return fileQueryCount; }
std::size_t fileReads(const std::string& linuxPath) {
    const auto found = readCounts.find(linuxPath);
    return found == readCounts.end() ? 0 : found->second;
}
std::size_t folderBatches() { return batchCount; }
std::size_t refusedPaths() { return refusedCount; }
std::size_t openListings() { return listings.size(); }

}  // namespace sim

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR path) {
    const sim::SimulatorWork work;
    char here[PATH_MAX];
    if (getcwd(here, sizeof here) == nullptr) {
        return 0;
    }
    std::string windows = "Z:";
    windows += here;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    const std::u16string wide = widen<char16_t>(windows);
    if (wide.size() + 1 > size) {
        return static_cast<DWORD>(wide.size() + 1);
    }
    std::copy_n(wide.c_str(), wide.size() + 1, path);
    return static_cast<DWORD>(wide.size());
}

// The system's ANSI code page is Windows-1252, as on a Western system.
int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int size, LPWSTR wide, int wideSize) {
    static const char16_t above80[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    if (codePage != CP_ACP || size < 0) {
        sim::lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    if (wide == nullptr || wideSize == 0) {
        return size;
    }
    if (wideSize < size) {
        sim::lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    for (int i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        wide[i] = byte >= 0x80 && byte < 0xA0 ? above80[byte - 0x80] : static_cast<char16_t>(byte);
    }
    return size;
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
    const sim::SimulatorWork work;
    std::string path;
    if (!sim::linuxPath(name, path)) {
        return INVALID_HANDLE_VALUE;
    }
    if (disposition != OPEN_EXISTING && sim::refused(sim::FileCall::create, path)) {
        return INVALID_HANDLE_VALUE;
    }
    const int flags = disposition == OPEN_EXISTING ? O_RDONLY
                      : disposition == CREATE_NEW  ? O_WRONLY | O_CREAT | O_EXCL
                                                   : O_WRONLY | O_CREAT | O_TRUNC;
    const int descriptor =
        (access == GENERIC_READ) == (disposition == OPEN_EXISTING) ? open(path.c_str(), flags | O_CLOEXEC, 0644) : -1;
    if (descriptor < 0) {
        sim::failed();
    } else if (access == GENERIC_READ) {
        ++sim::readCounts[path];
    }
    struct stat status {};
    // Windows opens no directory as a file.
    if (descriptor >= 0 && (fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode))) {
        close(descriptor);
        return INVALID_HANDLE_VALUE;
    }
    return descriptor < 0 ? INVALID_HANDLE_VALUE : sim::fileHandle(descriptor);
}

BOOL ReadFile(HANDLE file, void* data, DWORD size, DWORD* read, void*) {
    const ssize_t done = ::read(sim::descriptorOf(file), data, size);
    *read = done < 0 ? 0 : static_cast<DWORD>(done);
    return done < 0 ? 0 : 1;
}

BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void*) {
    const int descriptor = sim::descriptorOf(file);
    *written = 0;
    if (!sim::refusals.empty()) {
        const std::string path = sim::pathOf(descriptor);
        if (sim::refused(sim::FileCall::write, path)) {
            return 0;
        }
        if (sim::refused(sim::FileCall::shortWrite, path)) {
            const ssize_t part = write(descriptor, data, size / 2);
            *written = part < 0 ? 0 : static_cast<DWORD>(part);
            sim::lastError = ERROR_DISK_FULL;
            return 0;
        }
    }
    const ssize_t done = write(descriptor, data, size);
    *written = done < 0 ? 0 : static_cast<DWORD>(done);
    return done < 0 ? 0 : 1;
}

BOOL CloseHandle(HANDLE handle) {
    const sim::SimulatorWork work;
    if (sim::mutexes.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0) {
        return 1;
    }
    return close(sim::descriptorOf(handle)) == 0 ? 1 : 0;
}

BOOL CreateDirectoryW(LPCWSTR name, void*) {
    const sim::SimulatorWork work;
    std::string path;
    return sim::linuxPath(name, path) && (mkdir(path.c_str(), 0755) == 0 || sim::failed()) ? 1 : 0;
}

BOOL GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS, void* information) {
    const sim::SimulatorWork work;
    ++sim::fileQueryCount;
    std::string path;
    struct stat status {};
    if (!sim::linuxPath(name, path) || stat(path.c_str(), &status) != 0) {
        return 0;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    *data = WIN32_FILE_ATTRIBUTE_DATA{};
    data->dwFileAttributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data->ftLastWriteTime = sim::fileTime(status);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFF'FFFF);
    return 1;
}

BOOL DeleteFileW(LPCWSTR name) {
    const sim::SimulatorWork work;
    std::string path;
    struct stat status {};
    if (!sim::linuxPath(name, path) || lstat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) {
        return sim::failed();
    }
    if (sim::refused(sim::FileCall::remove, path)) {
        return 0;
    }
    return unlink(path.c_str()) == 0 || sim::failed() ? 1 : 0;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    const sim::SimulatorWork work;
    std::string source;
    std::string target;
    struct stat status {};
    if (!sim::linuxPath(from, source) || !sim::linuxPath(to, target) ||
        sim::refused(sim::FileCall::rename, source)) {
        return 0;
    }
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && lstat(target.c_str(), &status) == 0) {
        sim::lastError = ERROR_ALREADY_EXISTS;
        return 0;
    }
    // As on Windows, a file does not replace a folder.
    return rename(source.c_str(), target.c_str()) == 0 || sim::failed() ? 1 : 0;
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* position, DWORD method) {
    const off_t at = lseek(sim::descriptorOf(file), distance.QuadPart, method == FILE_BEGIN ? SEEK_SET : SEEK_CUR);
    if (position != nullptr) {
        position->QuadPart = at;
    }
    return at < 0 ? 0 : 1;
}

BOOL SetEndOfFile(HANDLE file) {
    const int descriptor = sim::descriptorOf(file);
    if (!sim::refusals.empty() && sim::refused(sim::FileCall::truncate, sim::pathOf(descriptor))) {
        return 0;
    }
    const off_t at = lseek(descriptor, 0, SEEK_CUR);
    return at >= 0 && ftruncate(descriptor, at) == 0 ? 1 : 0;
}

HANDLE FindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, void* found, FINDEX_SEARCH_OPS search, void*,
                        DWORD flags) {
    const sim::SimulatorWork work;
    // Only what the door asks for: every entry of a folder, without short names or the large fetch.
    std::string path;
    if (level != FindExInfoBasic || search != FindExSearchNameMatch || flags != 0 ||
        !sim::linuxPath(pattern, path, true)) {
        return INVALID_HANDLE_VALUE;
    }
    const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return INVALID_HANDLE_VALUE;
    }
    sim::Listing listing;
    listing.folder = folder;
    listing.batch.resize(sim::batchSize);
    if (!sim::nextEntry(listing, static_cast<WIN32_FIND_DATAW*>(found))) {
        close(folder);
        return INVALID_HANDLE_VALUE;
    }
    const std::uintptr_t handle = sim::nextHandle++;
    sim::listings[handle] = std::move(listing);
    return reinterpret_cast<HANDLE>(handle);
}

BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* found) {
    const sim::SimulatorWork work;
    const auto listing = sim::listings.find(reinterpret_cast<std::uintptr_t>(search));
    return listing != sim::listings.end() && sim::nextEntry(listing->second, found) ? 1 : 0;
}

BOOL FindClose(HANDLE search) {
    const sim::SimulatorWork work;
    const auto listing = sim::listings.find(reinterpret_cast<std::uintptr_t>(search));
    if (listing == sim::listings.end()) {
        return 0;
    }
    close(listing->second.folder);
    sim::listings.erase(listing);
    return 1;
}
