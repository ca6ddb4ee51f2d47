// mendery-cli repair and info on real files, judged by independent readers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "asf/AsfObjects.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kSamplePacket = 3200;

std::string Cli(const std::string& args) { return std::string(MENDERY_CLI) + " " + args; }

// A copy of the two-stream sample with four packets overwritten by garbage.
std::string DamagedCopy(const TempDir& dir) {
    Bytes file = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    DamagePackets(file, kSamplePacket, 40, 2);
    DamagePackets(file, kSamplePacket, 120);
    DamagePackets(file, kSamplePacket, 200);
    const auto path = (dir / "damaged.wmv").string();
    WriteFileBytes(path, file);
    return path;
}

}  // namespace

TEST(CliRepair, PartialPresetKeepsEveryPacketAndMakesTheHeaderConsistent) {
    TempDir dir;
    const std::string out = (dir / "a.adv.wmv").string();
    std::string log;
    ASSERT_EQ(RunCommand(Cli("repair " + Quote(SampleFile("a_wmv2_wmav2.wmv")) + " --preset partial -o " + Quote(out)), &log), 0)
        << log;
    const Bytes src = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    const Bytes dst = ReadFileBytes(out);
    ASSERT_EQ(dst.size(), src.size());
    const std::uint64_t chunks = HeaderSizeOf(src) + kDataObjectHeadSize;
    EXPECT_TRUE(std::equal(src.begin() + chunks, src.end(), dst.begin() + chunks));
    const std::uint64_t dp = HeaderSizeOf(dst);
    EXPECT_EQ(GetU64(dst, 30 + 40), dst.size());
    EXPECT_EQ(GetU64(dst, dp + 16), 50u + 303 * kSamplePacket);
    EXPECT_EQ(GetU64(dst, dp + 40), 303u);
    EXPECT_EQ(GetU64(dst, 30 + 56), 303u);
    EXPECT_EQ(ProbePacketCounts(out), ProbePacketCounts(SampleFile("a_wmv2_wmav2.wmv")));
    EXPECT_TRUE(DecodesCleanly(out));
    EXPECT_NE(log.find("输出文件: " + out), std::string::npos);
}

TEST(CliRepair, BadChunkPoliciesOnARealDamagedFile) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    TempDir dir;
    const std::string damaged = DamagedCopy(dir);
    const auto source = ProbePacketCounts(SampleFile("a_wmv2_wmav2.wmv"));
    ASSERT_EQ(source.size(), 2u);
    for (const std::string policy : {"delete", "delete-last", "zero", "copy-last"}) {
        const std::string out = (dir / ("out-" + policy + ".wmv")).string();
        std::string log;
        ASSERT_EQ(RunCommand(Cli("repair " + Quote(damaged) + " --preset bad-chunks --bad-chunks " + policy + " --fix-chunk-count -o " +
                                 Quote(out)),
                             &log),
                  0)
            << log;
        EXPECT_NE(log.find("CH:  28,  13"), std::string::npos) << log;  // packet 40
        EXPECT_NE(log.find("CH:  C8,  13"), std::string::npos) << log;  // packet 200
        const auto counts = ProbePacketCounts(out);
        ASSERT_EQ(counts.size(), 2u) << policy;
        // At most the media objects the four damaged packets carried are lost.
        for (int s = 0; s < 2; ++s) {
            EXPECT_LE(counts[s], source[s] + 4) << policy;
            EXPECT_GE(counts[s], source[s] - 12) << policy;
        }
        const Bytes o = ReadFileBytes(out);
        // delete-last also takes the good packet before each run of bad ones: 39, 119, 199.
        const std::uint64_t removed = policy == "delete" ? 4 : policy == "delete-last" ? 7 : 0;
        EXPECT_EQ(GetU64(o, HeaderSizeOf(o) + 40), 303 - removed) << policy;
        EXPECT_EQ(o.size(), ReadFileBytes(damaged).size() - removed * kSamplePacket) << policy;
        if (removed) {
            std::string errors;
            EXPECT_TRUE(DecodesCleanly(out, &errors)) << policy << errors;
        }
    }
}

TEST(CliRepair, JsonSummaryAndInfoAgreeOnTheDamage) {
    TempDir dir;
    const std::string damaged = DamagedCopy(dir);
    std::string out;
    ASSERT_EQ(RunCommand(Cli("info --json " + Quote(damaged)) + " 2>/dev/null", &out), 0);
    auto info = nlohmann::json::parse(out);
    std::vector<int> damagedIndexes;
    for (const auto& d : info["damage"]) damagedIndexes.push_back(d["index"]);
    EXPECT_EQ(damagedIndexes, (std::vector<int>{40, 41, 120, 200}));
    EXPECT_EQ(info["packets"]["read"], 303);
    EXPECT_EQ(info["streams"].size(), 2u);

    ASSERT_EQ(RunCommand(Cli("repair --json --preset bad-chunks " + Quote(damaged) + " -o " + Quote((dir / "o.wmv").string())) +
                             " 2>/dev/null",
                         &out),
              0);
    auto summary = nlohmann::json::parse(out);
    EXPECT_EQ(summary["result"], "done");
    EXPECT_EQ(summary["badChunkIndexes"], nlohmann::json({40, 41, 120, 200}));
    EXPECT_EQ(summary["chunksWritten"], 299);
}

TEST(CliRepair, AskWithoutATerminalSkipsAndSaysSo) {
    TempDir dir;
    const std::string damaged = DamagedCopy(dir);
    std::string log;
    ASSERT_EQ(RunCommand(Cli("repair --bad-chunks ask " + Quote(damaged) + " -o " + Quote((dir / "o.wmv").string())) + " </dev/null", &log), 0);
    EXPECT_NE(log.find("侦测损坏的数据块 - 数据块数量: 40"), std::string::npos) << log;
    EXPECT_NE(log.find("--> 跳过此数据块"), std::string::npos) << log;
    EXPECT_EQ(ReadFileBytes(dir / "o.wmv").size(), ReadFileBytes(damaged).size());
}

TEST(CliRepair, ExitCodesAndNothingLostOnBadInput) {
    TempDir dir;
    const std::string sample = (dir / "a.wmv").string();
    fs::copy_file(SampleFile("a_wmv2_wmav2.wmv"), sample);
    const Bytes before = ReadFileBytes(sample);
    WriteFileBytes(dir / "text.wmv", Bytes(5000, 'x'));

    EXPECT_EQ(RunCommand(Cli("repair -q " + Quote((dir / "text.wmv").string()))), 1);
    EXPECT_FALSE(fs::exists(dir / "text.adv.wmv"));
    EXPECT_EQ(RunCommand(Cli("repair -q " + Quote(sample) + " -o " + Quote(sample))), 1);
    EXPECT_EQ(RunCommand(Cli("repair -q " + Quote(sample) + " -o " + Quote((dir / "missing/o.wmv").string()))), 1);
    EXPECT_EQ(RunCommand(Cli("repair -q --bad-chunks sometimes " + Quote(sample))), 2);
    EXPECT_EQ(RunCommand(Cli("repair")), 2);

    // A disk that fills up: the write fails, the incomplete output is removed.
    std::string log;
    EXPECT_EQ(RunCommand("bash -c " + Quote("ulimit -f 100; " + Cli(Quote(sample) == "" ? "" : "repair " + Quote(sample) + " -o " +
                                                                         Quote((dir / "full.wmv").string()))),
                         &log),
              3)
        << log;
    EXPECT_NE(log.find("访问文件出错"), std::string::npos) << log;
    EXPECT_NE(log.find("未完成的输出文件已删除"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(dir / "full.wmv"));

    // A read-only output folder.
    fs::create_directory(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) EXPECT_EQ(RunCommand(Cli("repair -q " + Quote(sample) + " -o " + Quote((dir / "ro/o.wmv").string()))), 3);

    EXPECT_EQ(ReadFileBytes(sample), before);
    EXPECT_EQ(RunCommand(Cli("repair -q " + Quote(sample))), 0);
    EXPECT_TRUE(fs::exists(dir / "a.adv.wmv"));
}
