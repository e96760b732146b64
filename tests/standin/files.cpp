// The scenarios' files, by UTF-8 paths handed to the wide calls, so that a path may
// hold any character, however far the game's folder lies from the ASCII range.
#include <algorithm>
#include <cstdio>

#include "tests/standin/driver.h"

std::wstring wide(const std::string& utf8) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), units);
    return text;
}

std::string utf8(const std::wstring& text) {
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), bytes, nullptr,
                        nullptr);
    return converted;
}

std::string directoryOfExe() {
    std::wstring path(32'768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const std::string text = utf8(path);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

std::string currentDirectory() {
    std::wstring path(GetCurrentDirectoryW(0, nullptr), L'\0');
    path.resize(GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data()));
    return utf8(path);
}

bool exists(const std::string& path) { return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool makeFolder(const std::string& path) { return CreateDirectoryW(wide(path).c_str(), nullptr) != 0; }

bool deleteFile(const std::string& path) { return DeleteFileW(wide(path).c_str()) != 0; }

bool removeFolder(const std::string& path) { return RemoveDirectoryW(wide(path).c_str()) != 0; }

std::vector<FoundEntry> entriesOf(const std::string& folder, const std::string& prefix) {
    std::vector<FoundEntry> entries;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(wide(folder + "\\" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const std::string name = utf8(found.cFileName);
        if (name != "." && name != "..") {
            entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
        }
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
    std::sort(entries.begin(), entries.end(),
              [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
    return entries;
}

void removeTree(const std::string& path) {
    for (const FoundEntry& entry : entriesOf(path)) {
        const std::string inside = path + "\\" + entry.name;
        if (entry.folder) {
            removeTree(inside);
        } else {
            deleteFile(inside);
        }
    }
    removeFolder(path);
}

void enterOwnDirectory() {
    makeFolder("runs");
    const std::string directory = std::string("runs\\") + scenarioName;
    makeFolder(directory);
    if (SetCurrentDirectoryW(wide(directory).c_str()) == 0) {
        fail("cannot enter %s (error %lu)", directory.c_str(), GetLastError());
    }
    for (const char* name : {"BrackenfoldConfig.ini", "Brackenfold.log", "Brackenfold.1.log", "Brackenfold.previous.log",
                             "Brackenfold.previous.1.log", "Brackenfold.reloading"}) {
        deleteFile(name);
        removeFolder(name);
        if (exists(name)) {
            fail("cannot clear %s left in %s", name, directory.c_str());
        }
    }
    copyFile(directoryOfExe() + "Brackenfold.asi", currentDirectory() + "\\Brackenfold.asi");
}

void copyFile(const std::string& from, const std::string& to) {
    if (CopyFileW(wide(from).c_str(), wide(to).c_str(), FALSE) == 0) {
        fail("cannot copy %s to %s (error %lu)", from.c_str(), to.c_str(), GetLastError());
    }
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = _wfopen(wide(path).c_str(), L"wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        fail("cannot write %s", path.c_str());
    }
}

void writeSettings(const std::string& bytes) { writeFile("BrackenfoldConfig.ini", bytes); }

std::string readFile(const std::string& path) {
    std::string bytes;
    std::FILE* file = _wfopen(wide(path).c_str(), L"rb");
    if (file == nullptr) {
        return bytes;
    }
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.append(buffer, got);
    }
    std::fclose(file);
    return bytes;
}

std::vector<std::string> logLines(const std::string& path) {
    if (!exists(path)) {
        fail("there is no log %s", path.c_str());
    }
    const std::string text = readFile(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // "[HH:MM:SS.mmm] " comes first on every line.
        if (line.size() < 15 || line[0] != '[' || line[3] != ':' || line[6] != ':' || line[9] != '.' ||
            line[13] != ']' || line[14] != ' ') {
            fail("the log line \"%s\" does not start with a time stamp", line.c_str());
        }
        lines.push_back(line.substr(15));
        if (end == std::string::npos) {
            fail("the log's last line \"%s\" has no line feed", line.c_str());
        }
        start = end + 1;
    }
    return lines;
}

void expectLogLine(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines) {
        if (line.find(part) != std::string::npos) {
            return;
        }
    }
    std::printf("the log holds:\n");
    for (const std::string& line : lines) {
        std::printf("    %s\n", line.c_str());
    }
    fail("no log line holds \"%s\"", part.c_str());
}
