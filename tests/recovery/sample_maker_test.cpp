// The sample maker copies at most the first 512 KiB to PATH.sam.
#include <gtest/gtest.h>

#include <filesystem>

#include "recovery/SampleMaker.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

TEST(SampleMaker, CopiesTheWholeShortFileAndTheFirst512KiBOfALongOne) {
    TempDir dir;
    RecordingHost host;
    for (std::size_t size : {std::size_t{1000}, std::size_t{524288}, std::size_t{524289 + 70000}}) {
        const auto path = (dir / ("d" + std::to_string(size) + ".wmv")).string();
        const Bytes content = PatternBytes(size);
        WriteFileBytes(path, content);
        const SampleResult r = SampleMaker(host).MakeSample(path);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.samplePath, path + ".sam");
        const std::size_t expected = std::min<std::size_t>(size, 524288);
        EXPECT_EQ(ReadFileBytes(r.samplePath), Bytes(content.begin(), content.begin() + expected));
        EXPECT_EQ(ReadFileBytes(path), content);
    }
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(SampleMaker::ResultText("/x/a.wmv"), "样本文件是 \"/x/a.wmv.sam\"");
}

TEST(SampleMaker, FailuresShowTheMessageAndLeaveNoSample) {
    TempDir dir;
    RecordingHost host;
    const auto missing = (dir / "missing.wmv").string();
    EXPECT_FALSE(SampleMaker(host).MakeSample(missing).ok);
    EXPECT_FALSE(fs::exists(missing + ".sam"));

    // A PATH.sam that is a link to the file itself must not truncate it.
    const auto path = (dir / "a.wmv").string();
    WriteFileBytes(path, PatternBytes(5000));
    fs::create_symlink(path, path + ".sam");
    EXPECT_FALSE(SampleMaker(host).MakeSample(path).ok);
    EXPECT_EQ(ReadFileBytes(path), PatternBytes(5000));
    EXPECT_EQ(host.messages, (std::vector<std::string>{"创建样本文件失败.", "创建样本文件失败."}));
}
