#include "watch/file_stamp.h"

#include <cstdio>

#include "host/kernel.h"

PathLook lookAtPath(const char* path) {
    const PathInfo info = queryPath(path);
    if (info.folder) {
        return {{}, true};
    }
    return {{info.exists, info.writeTime, info.size}, false};
}

FileStamp readFileStamp(const char* path) { return lookAtPath(path).file; }

StampText formatWriteTime(std::uint64_t writeTime) {
    const std::uint64_t milliseconds = writeTime / 10'000;
    const std::uint64_t seconds = milliseconds / 1000;
    // Days since 1601-01-01 to a civil date, counted in 400-year eras from 1600-03-01.
    const std::int64_t days = static_cast<std::int64_t>(seconds / 86'400) + 306;
    const std::int64_t era = days / 146'097;
    const std::int64_t dayOfEra = days - era * 146'097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const std::int64_t year = 1600 + yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    const std::uint64_t ofDay = seconds % 86'400;
    StampText stamp{};
    std::snprintf(stamp.text, sizeof stamp.text, "%04lld-%02lld-%02lld %02u:%02u:%02u.%03u UTC",
                  static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<unsigned>(ofDay / 3600), static_cast<unsigned>(ofDay / 60 % 60),
                  static_cast<unsigned>(ofDay % 60), static_cast<unsigned>(milliseconds % 1000));
    return stamp;
}

