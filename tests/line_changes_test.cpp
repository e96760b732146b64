#include <gtest/gtest.h>

#include <string>

#include "history/line_changes.h"

namespace {

TEST(LineChanges, CommonFirstAndLastLinesAreSetAsideAndTheRestIsNamedInTheNewVersion) {
    struct Case {
        const char* what;
        std::string before;
        std::string after;
        LineChange change;
    };
    const std::string five = "a\nb\nc\nd\ne\n";
    const Case cases[] = {
        {"no change", five, five, {5, 5, true, 0, 0}},
        {"one line edited", five, "a\nb\nC\nd\ne\n", {5, 5, false, 3, 3}},
        {"two places edited: one range", five, "a\nB\nc\nD\ne\n", {5, 5, false, 2, 4}},
        {"lines inserted at one place", five, "a\nb\nx\ny\nc\nd\ne\n", {5, 7, false, 3, 4}},
        {"lines taken out name where they were", five, "a\nb\ne\n", {5, 3, false, 3, 3}},
        {"last lines taken out", five, "a\nb\nc\n", {5, 3, false, 4, 4}},
        {"first line inserted", five, "z\n" + five, {5, 6, false, 1, 1}},
        {"line end added to the last line", "a\nb", "a\nb\n", {2, 2, false, 2, 2}},
        {"CR LF and lone CR end lines too", "a\r\nb\rc\r\n", "a\r\nB\rc\r\n", {3, 3, false, 2, 2}},
        {"a CR LF changed to an LF is a change", "a\r\nb\n", "a\nb\n", {2, 2, false, 1, 1}},
        {"from nothing", "", "a\nb\n", {0, 2, false, 1, 2}},
        {"to nothing", "a\nb\n", "", {2, 0, false, 1, 1}},
        {"a repeated line inserted", "x\nx\n", "x\nx\nx\n", {2, 3, false, 3, 3}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const LineChange change = compareLines(test.before, test.after);
        EXPECT_EQ(change.linesBefore, test.change.linesBefore);
        EXPECT_EQ(change.linesAfter, test.change.linesAfter);
        EXPECT_EQ(change.same, test.change.same);
        EXPECT_EQ(change.first, test.change.first);
        EXPECT_EQ(change.last, test.change.last);
    }
}

}  // namespace
