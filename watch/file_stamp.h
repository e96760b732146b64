// What the plug-in notices of a file without reading it: whether it is there, its
// last-write time and its size, from one attribute query.
#pragma once

#include <cstdint>
#include <string>

struct FileStamp {
    bool exists = false;
    std::uint64_t writeTime = 0;  // 100-ns units since 1601-01-01 UTC
    std::uint64_t size = 0;

    bool operator==(const FileStamp&) const = default;
};

// What one attribute query tells of a path: a file's stamp, or that it is a folder.
struct PathLook {
    FileStamp file;       // missing for a folder
    bool folder = false;
};
PathLook lookAtPath(const char* path);

// The stamp of the file at `path`; a directory, or a path that cannot be queried,
// counts as missing.
FileStamp readFileStamp(const char* path);

// "YYYY-MM-DD HH:MM:SS.mmm UTC" for a last-write time.
struct StampText {
    char text[64];
};
StampText formatWriteTime(std::uint64_t writeTime);
