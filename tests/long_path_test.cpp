#include <gtest/gtest.h>

#include <string>

#include "host/long_path.h"

namespace {

TEST(LongPath, EveryPathGoesToWindowsAbsoluteResolvedAndInItsLongForm) {
    struct Case {
        const char* path;
        const char* currentDirectory;
        const char* expected;
    };
    const Case cases[] = {
        {"lml", "C:\\Games\\RDR2", "\\\\?\\C:\\Games\\RDR2\\lml"},
        {"lml/ModA\\VegetationModifiers.meta", "C:\\Games\\RDR2", "\\\\?\\C:\\Games\\RDR2\\lml\\ModA\\VegetationModifiers.meta"},
        {"..\\mods\\.\\a.meta", "C:\\Games\\RDR2", "\\\\?\\C:\\Games\\mods\\a.meta"},
        {"..\\..\\..\\a", "C:\\Games", "\\\\?\\C:\\a"},
        {"lml\\\\\\ModA\\", "C:\\Games", "\\\\?\\C:\\Games\\lml\\ModA"},
        {"D:\\Mods\\x.meta", "C:\\Games", "\\\\?\\D:\\Mods\\x.meta"},
        {"d:/Mods", "C:\\Games", "\\\\?\\D:\\Mods"},
        {"\\Mods\\x", "C:\\Games\\RDR2", "\\\\?\\C:\\Mods\\x"},
        {"C:x", "C:\\Games", "\\\\?\\C:\\Games\\x"},
        {"D:x", "C:\\Games", "\\\\?\\D:\\x"},
        {"C:\\", "D:\\", "\\\\?\\C:\\"},
        {"\\\\server\\share\\mods\\x", "C:\\Games", "\\\\?\\UNC\\server\\share\\mods\\x"},
        {"lml", "\\\\server\\share\\Games", "\\\\?\\UNC\\server\\share\\Games\\lml"},
        {"\\lml", "\\\\server\\share\\Games", "\\\\?\\UNC\\server\\share\\lml"},
        {"lml", "\\\\?\\C:\\Games", "\\\\?\\C:\\Games\\lml"},
        {"lml", "\\\\?\\UNC\\server\\share\\Games", "\\\\?\\UNC\\server\\share\\Games\\lml"},
        // As Windows trims them: one final period of a part, and dots and spaces at the end.
        {"lml.\\ModA...\\x. . ", "C:\\G", "\\\\?\\C:\\G\\lml\\ModA...\\x"},
        {"\\\\?\\C:\\Already\\.\\long", "D:\\", "\\\\?\\C:\\Already\\.\\long"},
        {"\xD0\x9C\xD0\xBE\xD0\xB4 \xE2\x98\x85\\x", "C:\\\xE6\xA3\xAE", "\\\\?\\C:\\\xE6\xA3\xAE\\\xD0\x9C\xD0\xBE\xD0\xB4 \xE2\x98\x85\\x"},
        // What cannot be made absolute.
        {"", "C:\\Games", ""},
        {"lml", "Games", ""},
        {"\\\\server", "C:\\", ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.path) + " in " + test.currentDirectory);
        EXPECT_EQ(longPath(test.path, test.currentDirectory), test.expected);
    }
    // Past 260 characters nothing changes: the long form carries it.
    const std::string deep = std::string(300, 'd');
    EXPECT_EQ(longPath(deep + "\\f", "C:\\G"), "\\\\?\\C:\\G\\" + deep + "\\f");
}

}  // namespace
