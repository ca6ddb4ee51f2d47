// Whole rescue runs on damaged copies of real files, checked with the same decoder the rescue
// uses (FFmpeg's, linked in here rather than loaded from the plugin), against every single
// tool and against ffmpeg's own copy of the damaged file.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "convert/encoder/DecodeCheck.h"
#include "launch/ClipwrightCommandLines.h"
#include "recovery/LostChunk.h"
#include "repair/AsfFile.h"
#include "repair/RepairPresets.h"
#include "rescue/Rescue.h"
#include "rescue/RescueDecode.h"
#include "support/AsfBuilder.h"

namespace mendery {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::RecordingHost;
using test::TempDir;

DecodeCheck Decode(const std::string& path, const std::function<bool()>& stop = {}) {
    return ToDecodeCheck(RunDecodeCheck(path, stop));
}

std::string Clipwright() { return std::string(MENDERY_BIN_DIR) + "/clipwright"; }

struct Fixture {
    TempDir dir;
    RecordingHost host;
    RescueRun run;
    std::string source, output, work;

    explicit Fixture(const Bytes& damaged) {
        source = (dir / "damaged.wmv").string();
        output = (dir / "rescued.wmv").string();
        work = (dir / "work").string();
        test::WriteFileBytes(source, damaged);
        run.FileName = source;
        run.OutFileName = output;
        run.ClipwrightPath = Clipwright();
        run.WorkFolder = work;
        run.Decoder = [](const std::string& path, const std::function<bool()>& stop) { return Decode(path, stop); };
        run.AttachHost(host);
    }
    bool WorkFolderEmpty() const { return !fs::exists(work) || fs::is_empty(work); }
};

// The best clean-frame count any single tool reaches on `source`.
DecodeCheck BestSingleTool(const std::string& source, const TempDir& dir) {
    RecordingHost quiet;
    DecodeCheck best;
    auto take = [&](const std::string& out) {
        if (!fs::exists(out)) return;
        const DecodeCheck c = Decode(out);
        if (CompareDecodes(c, best) > 0) best = c;
    };
    for (const auto& preset : RepairPresets()) {
        TAsfFile engine;
        engine.AttachHost(quiet);
        engine.FileName = source;
        engine.OutFileName = (dir / ("adv-" + std::string(preset.cliName) + ".wmv")).string();
        ApplyPreset(engine, preset.preset);
        engine.Run();
        take(engine.OutFileName);
    }
    TLostChunk recover;
    recover.AttachHost(quiet);
    recover.FileName = source;
    recover.OutFileName = (dir / "lch.wmv").string();
    recover.Recover();
    take(recover.OutFileName);
    for (const char* options : {"", " -resync"}) {
        const std::string out = (dir / (std::string("bsr") + (*options ? "-resync" : "") + ".wmv")).string();
        test::RunCommand(test::Quote(Clipwright()) + " -i " + test::Quote(source) + " -o " + test::Quote(out) + " -y" + options + " >/dev/null 2>&1");
        take(out);
    }
    return best;
}

// ffmpeg's own copy of the damaged file, decoded the same way; not opened without ffmpeg.
DecodeCheck FfmpegCopy(const std::string& source, const TempDir& dir) {
    if (!test::HaveProgram("ffmpeg")) return {};
    const std::string out = (dir / "ffmpeg.asf").string();
    test::RunCommand("ffmpeg -v quiet -y -err_detect ignore_err -i " + test::Quote(source) + " -c copy " + test::Quote(out));
    return fs::exists(out) ? Decode(out) : DecodeCheck{};
}

struct Damage {
    const char* name;
    const char* sample;
    std::function<void(Bytes&)> apply;
    // Frames ffmpeg's copy may have more: a media object part of which was zeroed is kept
    // whole by ffmpeg's demuxer and decodes without an error report; every tool here drops it.
    std::int64_t ffmpegAhead = 0;
};

std::uint64_t Middle(const Bytes& file, std::uint32_t packetSize) {
    const std::uint64_t first = test::PacketOffset(file, packetSize, 0);
    return test::PacketOffset(file, packetSize, (file.size() - first) / packetSize / 2);
}

class RescueOnDamage : public ::testing::TestWithParam<Damage> {};

// The rescued file is put in place, decodes at least as well as the best single tool and
// ffmpeg's copy, the source keeps its bytes, and nothing is left in the work folder.
TEST_P(RescueOnDamage, BeatsEverySingleToolAndLeavesTheSourceAlone) {
    const Damage& d = GetParam();
    Bytes file = test::ReadFileBytes(d.sample[0] == '/' ? d.sample : test::SampleFile(d.sample));
    d.apply(file);
    Fixture f(file);
    const auto& report = f.run.Run();
    EXPECT_EQ(test::ReadFileBytes(f.source), file);
    EXPECT_TRUE(f.WorkFolderEmpty());
    ASSERT_EQ(report.outcome, Outcome::Done) << f.host.AllLines();
    ASSERT_TRUE(fs::exists(f.output));
    ASSERT_TRUE(report.after);
    const DecodeCheck rescued = Decode(f.output);
    EXPECT_EQ(rescued.Frames(), report.after->Frames());
    EXPECT_GE(CompareDecodes(rescued, report.before), 0);
    TempDir others;
    EXPECT_GE(CompareDecodes(rescued, BestSingleTool(f.source, others)), 0);
    DecodeCheck ffmpeg = FfmpegCopy(f.source, others);
    if (ffmpeg.opened) ffmpeg.streams.at(0).frames -= d.ffmpegAhead;
    EXPECT_GE(CompareDecodes(rescued, ffmpeg), 0);
    EXPECT_TRUE(rescued.seekable);
    for (const auto& step : report.steps) {
        if (step.outcome == Outcome::NotRun) {
            EXPECT_FALSE(step.note.empty()) << step.title << " skipped without a note";
        }
        if (step.outcome == Outcome::Done) {
            EXPECT_TRUE(step.check) << step.title;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, RescueOnDamage,
    ::testing::Values(
        Damage{"bundled", MENDERY_TEST_DATA "/../../samples/a_damaged.wmv", [](Bytes&) {}},
        Damage{"cut_short", "a_wmv2_wmav2.wmv", [](Bytes& b) { test::Truncate(b, b.size() * 6 / 10); }},
        Damage{"overwritten", "b_msmpeg4v3_wmav2.asf",
               [](Bytes& b) { test::DamagePackets(b, 3200, (b.size() / 3200) / 2, 3); }},
        Damage{"inserted", "d_wmv2_2audio.wmv",
               [](Bytes& b) {
                   const auto at = Middle(b, 3200) + 100;
                   b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), 1000, 0xA5);
               }},
        Damage{"zeroed", "a_wmv2_wmav2.wmv",
               [](Bytes& b) {
                   const auto at = Middle(b, 3200) + 500;
                   std::fill(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 8192), 0);
               },
               1},
        Damage{"killed_ffmpeg", "m_ffmpeg_killed_unfinalized.wmv", [](Bytes&) {}},
        Damage{"killed_gstreamer", "l_gst_killed_unfinalized.wmv", [](Bytes&) {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RescueRun, UnusableInputEndsWithNoOutputAndKeepsAnExistingFile) {
    Fixture f(Bytes(20000, 0x41));
    test::WriteFileBytes(f.output, Bytes{1, 2, 3});
    const auto& report = f.run.Run();
    EXPECT_EQ(report.outcome, Outcome::NothingUsable);
    EXPECT_TRUE(report.steps.empty());
    EXPECT_FALSE(report.before.opened);
    EXPECT_EQ(test::ReadFileBytes(f.output), (Bytes{1, 2, 3}));
    EXPECT_TRUE(report.output.empty());
    EXPECT_TRUE(f.WorkFolderEmpty());
}

TEST(RescueRun, RefusesToWriteOverItsSource) {
    Fixture f(test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv")));
    f.run.OutFileName = f.source;
    EXPECT_EQ(f.run.Run().outcome, Outcome::Refused);
}

// A stop at any moment ends the run: no output, nothing left in the work folder, the source
// as it was. Stops are tried in the survey, in a step inside the process, in the clipwright
// child process and in a decode.
TEST(RescueRun, StopAnywhereLeavesNoOutputAndNoIntermediates) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    for (std::int64_t stopAt : {1, 3, 8, 20, 40, 80}) {
        Fixture f(file);
        f.host.onProcessMessages = [&] {
            if (f.host.processCalls >= stopAt) f.run.Aborted = true;
        };
        const auto& report = f.run.Run();
        if (report.outcome == Outcome::Done) continue;  // the run ended before this stop
        EXPECT_EQ(report.outcome, Outcome::Aborted) << "stop at " << stopAt;
        EXPECT_FALSE(fs::exists(f.output)) << "stop at " << stopAt;
        EXPECT_TRUE(f.WorkFolderEmpty()) << "stop at " << stopAt;
        EXPECT_TRUE(report.output.empty());
        EXPECT_EQ(test::ReadFileBytes(f.source), file);
    }
}

class StopAtStep : public IRescueObserver {
public:
    explicit StopAtStep(RescueStepKind kind) : kind_(kind) {}
    void StepStarted(std::size_t, const RescueStep& step) override { armed = step.kind == kind_; }
    bool armed = false;

private:
    RescueStepKind kind_;
};

TEST(RescueRun, StopDuringClipwrightStopsTheChildAndTheRun) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    Fixture f(file);
    StopAtStep observer(RescueStepKind::RebuildTimesAndIndex);
    f.run.AttachObserver(&observer);
    f.host.onProcessMessages = [&] { if (observer.armed) f.run.Aborted = true; };
    const auto& report = f.run.Run();
    EXPECT_EQ(report.outcome, Outcome::Aborted);
    ASSERT_FALSE(report.steps.empty());
    bool sawStoppedStep = false;
    for (const auto& step : report.steps)
        if (step.kind == RescueStepKind::RebuildTimesAndIndex) sawStoppedStep = step.outcome == Outcome::Aborted;
    EXPECT_TRUE(sawStoppedStep);
    EXPECT_FALSE(fs::exists(f.output));
    EXPECT_TRUE(f.WorkFolderEmpty());
}

TEST(RescueRun, WorseResultIsNotKeptAndTheChainGoesOnFromTheBetterFile) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    Fixture f(file);
    // The first step's result decodes badly; every later file decodes as it really does.
    std::vector<std::string> decoded;
    f.run.Decoder = [&](const std::string& path, const std::function<bool()>& stop) {
        decoded.push_back(path);
        DecodeCheck c = Decode(path, stop);
        if (path.find("rescue-1-") != std::string::npos) c.streams.at(0).frames /= 2;
        return c;
    };
    const auto& report = f.run.Run();
    ASSERT_GE(report.steps.size(), 2u);
    EXPECT_EQ(report.steps[0].kind, RescueStepKind::RepairPackets);
    EXPECT_FALSE(report.steps[0].kept);
    EXPECT_NE(report.steps[0].note.find("保留上一步的文件"), std::string::npos);
    EXPECT_TRUE(report.steps[1].kept);
    // The second step worked from the source, not from the discarded result.
    ASSERT_FALSE(report.steps[1].log.empty());
    EXPECT_EQ(report.steps[1].log.front(), "输入文件: " + f.source);
    EXPECT_EQ(report.outcome, Outcome::Done);
}

TEST(RescueRun, NoStepBetterThanTheSourceWritesNothing) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    Fixture f(file);
    f.run.Decoder = [&](const std::string& path, const std::function<bool()>& stop) {
        DecodeCheck c = Decode(path, stop);
        if (path != f.source) c.streams.at(0).frames = 1;
        return c;
    };
    const auto& report = f.run.Run();
    EXPECT_EQ(report.outcome, Outcome::NothingUsable);
    EXPECT_FALSE(fs::exists(f.output));
    for (const auto& step : report.steps) EXPECT_FALSE(step.kept) << step.title;
}

TEST(RescueRun, MissingClipwrightIsAStepThatDidNotRunNotAFailedRescue) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    Fixture f(file);
    f.run.ClipwrightPath = (f.dir / "no-such-clipwright").string();
    const auto& report = f.run.Run();
    EXPECT_EQ(report.outcome, Outcome::Done);
    bool refused = false;
    for (const auto& step : report.steps)
        if (step.kind == RescueStepKind::RebuildTimesAndIndex) refused = step.outcome == Outcome::Refused && !step.kept;
    EXPECT_TRUE(refused);
}

TEST(RescueRun, OwnWorkFolderUnderTheSystemTempIsRemoved) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    Fixture f(file);
    f.run.WorkFolder.clear();
    const auto before = [] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
            if (e.path().filename().string().rfind("mendery-rescue-", 0) == 0) names.insert(e.path().string());
        return names;
    };
    const auto start = before();
    EXPECT_EQ(f.run.Run().outcome, Outcome::Done);
    EXPECT_EQ(before(), start);
}

TEST(DecodeCheckPlugin, CountsFramesPerStreamSecondsAndSeek) {
    const DecodeCheck whole = Decode(test::SampleFile("d_wmv2_2audio.wmv"));
    ASSERT_TRUE(whole.opened);
    ASSERT_EQ(whole.streams.size(), 3u);
    EXPECT_EQ(whole.streams[0].number, 1);
    EXPECT_EQ(whole.streams[0].kind, "视频");
    EXPECT_EQ(whole.streams[1].kind, "音频");
    for (const auto& s : whole.streams) EXPECT_GT(s.frames, 0);
    EXPECT_NEAR(whole.playableSeconds, 15.0, 0.5);
    EXPECT_EQ(whole.decodeErrors, 0);
    EXPECT_TRUE(whole.seekable);

    TempDir dir;
    Bytes cut = test::ReadFileBytes(test::SampleFile("d_wmv2_2audio.wmv"));
    test::Truncate(cut, cut.size() / 2);
    test::WriteFileBytes(dir / "cut.wmv", cut);
    const DecodeCheck half = Decode((dir / "cut.wmv").string());
    EXPECT_LT(half.Frames(), whole.Frames());
    EXPECT_LT(half.playableSeconds, whole.playableSeconds - 5);

    test::WriteFileBytes(dir / "text.wmv", Bytes(5000, 'x'));
    const DecodeCheck text = Decode((dir / "text.wmv").string());
    EXPECT_FALSE(text.opened);
    EXPECT_FALSE(text.whyNot.empty());
    EXPECT_FALSE(Decode((dir / "missing.wmv").string()).opened);
    EXPECT_FALSE(Decode(dir.path().string()).opened) << "a folder";
}

TEST(DecodeCheckPlugin, StopEndsTheDecodeEarly) {
    int asked = 0;
    const DecodeResult r = RunDecodeCheck(test::SampleFile("a_wmv2_wmav2.wmv"), [&] { return ++asked >= 2; });
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(asked, 2);
    EXPECT_LT(ToDecodeCheck(r).Frames(), Decode(test::SampleFile("a_wmv2_wmav2.wmv")).Frames());
}

}  // namespace
}  // namespace mendery
