// The main window's file list as data: what it accepts, how each operation code reorders it,
// the playlist it writes.
#include <gtest/gtest.h>

#include <set>

#include "gui/model/FileList.h"

using namespace mendery;

namespace {
FileRows Rows(std::initializer_list<const char*> paths, int current) {
    FileRows list;
    for (const char* p : paths) list.Add(p);
    list.current = current;
    return list;
}
const PathLessFn kLess = [](const std::string& a, const std::string& b) { return a < b; };
const FileExistsFn kAll = [](const std::string&) { return true; };
}  // namespace

TEST(FileList, AcceptsOnlyAsfWmvWmaInAnyCase) {
    EXPECT_TRUE(IsAcceptedMediaPath("/v/a.WmV"));
    EXPECT_TRUE(IsAcceptedMediaPath("/v/a.asf"));
    EXPECT_FALSE(IsAcceptedMediaPath("/v/a.asx"));
    EXPECT_FALSE(IsAcceptedMediaPath("/v/wmv"));
    EXPECT_FALSE(IsAcceptedMediaPath("wma"));
    FileRows list;
    EXPECT_FALSE(list.Add("/v/a.txt"));
    EXPECT_TRUE(list.Empty());
}

TEST(FileList, AddAllListsTheSelectionInReverseAndSelectsTheLast) {
    FileRows list;
    list.AddAll({"/a.wmv", "/b.txt", "/c.asf"});
    EXPECT_EQ(list.rows, (std::vector<std::string>{"/c.asf", "/a.wmv"}));
    EXPECT_EQ(list.current, 1);
    FileRows none;
    none.AddAll({"/x.txt"});
    EXPECT_TRUE(none.Empty());
}

TEST(FileList, ReorderCodesMoveTheCurrentEntryWithIt) {
    auto list = Rows({"/1.wmv", "/2.wmv", "/3.wmv"}, 1);
    ReorderList(list, rcTop, kAll, kLess);
    EXPECT_EQ(list.rows, (std::vector<std::string>{"/2.wmv", "/1.wmv", "/3.wmv"}));
    EXPECT_EQ(list.current, 0);
    ReorderList(list, rcBottom, kAll, kLess);
    EXPECT_EQ(list.rows, (std::vector<std::string>{"/1.wmv", "/3.wmv", "/2.wmv"}));
    EXPECT_EQ(list.current, 2);
    ReorderList(list, rcDown, kAll, kLess);  // the last one down: nothing
    EXPECT_EQ(list.current, 2);
    ReorderList(list, 4, kAll, kLess);  // unused code: nothing
    EXPECT_EQ(list.rows.size(), 3u);
    ReorderList(list, rcSort, kAll, kLess);
    EXPECT_EQ(list.rows, (std::vector<std::string>{"/1.wmv", "/2.wmv", "/3.wmv"}));
    EXPECT_EQ(list.current, 0);
}

TEST(FileList, PurgeRemovesConsecutiveVanishedFilesAndLeavesOneEmptyRow) {
    auto list = Rows({"/keep.wmv", "/gone1.wmv", "/gone2.wmv"}, 2);
    const std::set<std::string> present{"/keep.wmv"};
    const FileExistsFn exists = [&](const std::string& p) { return present.count(p) > 0; };
    ReorderList(list, rcPurge, exists, kLess);
    EXPECT_EQ(list.rows, std::vector<std::string>{"/keep.wmv"});
    EXPECT_EQ(list.current, 0);
    ReorderList(list, rcPurge, [](const std::string&) { return false; }, kLess);
    EXPECT_TRUE(list.Empty());
    ReorderList(list, rcDelete, kAll, kLess);  // an empty list: nothing happens
    EXPECT_TRUE(list.Empty());
}

TEST(FileList, PlaylistLinesEscapeWhatXmlReserves) {
    const auto lines = PlaylistLines({"/v/a.wmv", "/v/R&B <1>.wma"});
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "<asx version = \"1.0\">");
    EXPECT_EQ(lines[3], "  <entry>");
    EXPECT_EQ(lines[7], "  <ref href = \"file:///v/R&amp;B &lt;1&gt;.wma\"/>");
    EXPECT_EQ(lines[9], "</asx>");
}
