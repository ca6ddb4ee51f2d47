// Whole rescue runs on damaged copies of real files, checked with the same decoder the rescue
// uses (FFmpeg's, linked in here rather than loaded from the plugin), against every single
// tool and against ffmpeg's own copy of the damaged file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>

#include "convert/encoder/DecodeCheck.h"
#include "asf/AsfObjects.h"
#include "launch/ClipwrightCommandLines.h"
#include "recovery/HeaderRebuild.h"
#include "recovery/LostChunk.h"
#include "repair/AsfFile.h"
#include "repair/RepairPresets.h"
#include "rescue/Rescue.h"
#include "rescue/RescueDecode.h"
#include "rescue/RescueSteps.h"
#include "rescue/RescueWork.h"
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

// Test names and failures show the damage by its name, not as raw bytes.
void PrintTo(const Damage& d, std::ostream* out) { *out << d.name << " (" << d.sample << ")"; }

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
        // Every packet off the grid: a packet step that finds no media must not hand its empty
        // result on, or the resynchronising basic repair after it reads nothing.
        Damage{"shifted_from_the_start", "e2_broadcast_unframed.wmv",
               [](Bytes& b) {
                   const auto at = static_cast<std::ptrdiff_t>(test::PacketOffset(b, 3200, 0));
                   b.insert(b.begin() + at, 17, 0);
               }},
        // The same on an audio-only file, whose shifted blocks all parse as packets without
        // error correction: only the packet size against the first packets gives it away.
        Damage{"audio_shifted_from_the_start", "c_wmav2.wma",
               [](Bytes& b) {
                   const auto at = static_cast<std::ptrdiff_t>(test::PacketOffset(b, 3200, 0));
                   b.insert(b.begin() + at, 17, 0);
               }},
        Damage{"zeroed", "a_wmv2_wmav2.wmv",
               [](Bytes& b) {
                   const auto at = Middle(b, 3200) + 500;
                   std::fill(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 8192), 0);
               },
               1},
        // Files whose packets carry no error correction data, damaged like the others.
        Damage{"gstreamer_overwritten", "k_gst_asfmux_wmv2_wmav2.wmv",
               [](Bytes& b) { test::DamagePackets(b, 4800, (b.size() / 4800) / 2, 3); }},
        Damage{"killed_gstreamer_overwritten", "l_gst_killed_unfinalized.wmv",
               [](Bytes& b) { test::DamagePackets(b, 4800, (b.size() / 4800) / 2, 2); }},
        // The packet length field's bit flipped in every seventh packet, the first among them.
        Damage{"gstreamer_length_flags_flipped", "k_gst_asfmux_wmv2_wmav2.wmv",
               [](Bytes& b) {
                   const std::uint64_t packets = (b.size() - test::PacketOffset(b, 4800, 0)) / 4800;
                   for (std::uint64_t k = 0; k < packets; k += 7) b[test::PacketOffset(b, 4800, k) + 3] ^= 0x20;
               }},
        // Three packets copied twice; the data object's size still counts the packets once.
        Damage{"duplicated_packets", "b_msmpeg4v3_wmav2.asf",
               [](Bytes& b) {
                   const auto at = static_cast<std::ptrdiff_t>(Middle(b, 3200));
                   const Bytes copy(b.begin() + at, b.begin() + at + 3 * 3200);
                   b.insert(b.begin() + at, copy.begin(), copy.end());
               }},
        // Bytes before the first packet of a file with two audio streams: the lost-chunk
        // recovery loses frames the basic repair's resynchronisation keeps.
        Damage{"inserted_before_the_first_packet", "d_wmv2_2audio.wmv",
               [](Bytes& b) {
                   const auto at = static_cast<std::ptrdiff_t>(test::PacketOffset(b, 3200, 0));
                   b.insert(b.begin() + at, 17, 0);
               }},
        Damage{"gstreamer_half_packet_lost", "k_gst_asfmux_wmv2_wmav2.wmv",
               [](Bytes& b) {
                   const auto at = static_cast<std::ptrdiff_t>(Middle(b, 4800));
                   b.erase(b.begin() + at, b.begin() + at + 2400);
               }},
        Damage{"killed_ffmpeg", "m_ffmpeg_killed_unfinalized.wmv", [](Bytes&) {}},
        Damage{"killed_gstreamer", "l_gst_killed_unfinalized.wmv", [](Bytes&) {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RescueRun, UnusableInputEndsWithNoOutputAndKeepsAnExistingFile) {
    Fixture f(Bytes(20000, 0x41));
    test::WriteFileBytes(f.output, Bytes{1, 2, 3});
    const auto& report = f.run.Run();
    // No header and no reference to build one from: the user is asked for one.
    EXPECT_EQ(report.outcome, Outcome::Refused);
    EXPECT_NE(f.host.AllLines().find("请选择一个用同样设置录制的完好文件作为参考文件"), std::string::npos) << f.host.AllLines();
    EXPECT_TRUE(report.needsReference);
    EXPECT_TRUE(report.steps.empty());
    EXPECT_FALSE(report.before.opened);
    EXPECT_EQ(test::ReadFileBytes(f.output), (Bytes{1, 2, 3}));
    EXPECT_TRUE(report.output.empty());
    EXPECT_TRUE(f.WorkFolderEmpty());
}

// An empty file holds no packets a reference could give a header to: nothing to do, and the
// run does not claim the file is sound.
TEST(RescueRun, EmptyFileAsksForNoReference) {
    Fixture f(Bytes{});
    const auto& report = f.run.Run();
    EXPECT_EQ(report.outcome, Outcome::NothingUsable);
    EXPECT_FALSE(report.needsReference);
    EXPECT_NE(f.host.AllLines().find("没有适用的修复步骤"), std::string::npos) << f.host.AllLines();
    EXPECT_FALSE(fs::exists(f.output));
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
    // A stand-in for the cutting tool that runs until it is stopped: the real one can finish a
    // 1 MB file before the first stop check, and the stop would then land in a later step.
    const std::string slowTool = (f.dir / "slow-clipwright").string();
    const std::string script = "#!/bin/sh\nexec sleep 60\n";
    test::WriteFileBytes(slowTool, Bytes(script.begin(), script.end()));
    fs::permissions(slowTool, fs::perms::owner_all);
    f.run.ClipwrightPath = slowTool;
    StopAtStep observer(RescueStepKind::RebuildTimesAndIndex);
    f.run.AttachObserver(&observer);
    f.host.onProcessMessages = [&] { if (observer.armed) f.run.Aborted = true; };
    const auto started = std::chrono::steady_clock::now();
    const auto& report = f.run.Run();
    // The child was ended with the run, not waited for.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(report.outcome, Outcome::Aborted);
    ASSERT_FALSE(report.steps.empty());
    bool sawStoppedStep = false;
    for (const auto& step : report.steps)
        if (step.kind == RescueStepKind::RebuildTimesAndIndex) sawStoppedStep |= step.outcome == Outcome::Aborted;
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

TEST(RescueRun, MissingClipwrightIsSkippedInThePlanNotAFailedRescue) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    for (const std::string& tool : {(fs::temp_directory_path() / "no-such-clipwright").string(), std::string()}) {
        Fixture f(file);
        f.run.ClipwrightPath = tool;
        const auto& report = f.run.Run();
        EXPECT_EQ(report.outcome, Outcome::Done);
        for (const auto& step : report.steps) {
            EXPECT_NE(step.kind, RescueStepKind::RebuildTimesAndIndex);
            EXPECT_NE(step.outcome, Outcome::Refused) << step.title;
        }
        const auto said = std::count_if(report.diagnosis.begin(), report.diagnosis.end(),
                                        [](const std::string& line) { return line.find("跳过基础修复") != std::string::npos; });
        EXPECT_EQ(said, 1) << ::testing::PrintToString(report.diagnosis);
    }
}

// ---- header damage --------------------------------------------------------------------

const char* const kHeaderSamples[] = {"a_wmv2_wmav2.wmv", "b_msmpeg4v3_wmav2.asf", "d_wmv2_2audio.wmv"};

std::uint64_t FirstPacketOf(const Bytes& file) { return test::HeaderSizeOf(file) + kDataObjectHeadSize; }

struct HeaderLoss {
    const char* name;
    std::function<Bytes(const Bytes&)> apply;
};

std::vector<HeaderLoss> HeaderLosses() {
    return {{"header cut off", [](const Bytes& b) { return Bytes(b.begin() + static_cast<std::ptrdiff_t>(FirstPacketOf(b)), b.end()); }},
            {"first 5 KB zeroed",
             [](Bytes b) {
                 std::fill_n(b.begin(), 5 * 1024, 0);
                 return b;
             }},
            {"header and 2 packets overwritten", [](Bytes b) {
                 const std::uint64_t end = FirstPacketOf(b) + 2 * 3200;
                 for (std::uint64_t i = 0; i < end; ++i) b[i] = static_cast<std::uint8_t>(0x91 + i * 7);
                 return b;
             }}};
}

// A file whose header is gone: with a good file recorded with the same settings the rescue
// rebuilds the header, diagnoses the rebuilt file again and plays every packet that is left;
// without one it asks for one and writes nothing.
TEST(RescueRun, LostHeaderIsRebuiltFromTheReference) {
    for (const char* sample : kHeaderSamples) {
        const std::string reference = test::SampleFile(sample);
        const Bytes original = test::ReadFileBytes(reference);
        const DecodeCheck intact = Decode(reference);
        for (const HeaderLoss& loss : HeaderLosses()) {
            const Bytes damaged = loss.apply(original);
            SCOPED_TRACE(std::string(sample) + ": " + loss.name);
            Fixture f(damaged);
            f.run.ReferenceFileName = reference;
            const auto& report = f.run.Run();
            ASSERT_EQ(report.outcome, Outcome::Done) << f.host.AllLines();
            EXPECT_EQ(test::ReadFileBytes(f.source), damaged);
            EXPECT_TRUE(f.WorkFolderEmpty());
            ASSERT_FALSE(report.steps.empty());
            EXPECT_EQ(report.steps[0].kind, RescueStepKind::RebuildHeader);
            EXPECT_TRUE(report.steps[0].kept);
            // The rebuilt file was diagnosed again and its steps planned: it has no index.
            const bool timesPlanned = std::any_of(report.steps.begin(), report.steps.end(), [](const RescueStep& s) {
                return s.kind == RescueStepKind::RebuildTimesAndIndex && s.outcome == Outcome::Done;
            });
            EXPECT_TRUE(timesPlanned);
            const DecodeCheck rescued = Decode(f.output);
            EXPECT_TRUE(rescued.seekable);
            // The packets left, behind the reference's header, and nothing lost after that.
            TempDir others;
            RecordingHost quiet;
            const std::string alone = (others / "rebuilt.wmv").string();
            ASSERT_EQ(RebuildHeaderFromReference(f.source, reference, alone, quiet), Outcome::Done);
            EXPECT_GE(CompareDecodes(rescued, Decode(alone)), 0);
            if (std::string(loss.name) == "header cut off") {
                EXPECT_EQ(rescued.Frames(), intact.Frames());
            }
            EXPECT_GT(rescued.Frames(), intact.Frames() * 8 / 10);
            EXPECT_GE(CompareDecodes(rescued, FfmpegCopy(f.source, others)), 0);

            Fixture without(damaged);
            const auto& refused = without.run.Run();
            EXPECT_EQ(refused.outcome, Outcome::Refused);
            EXPECT_FALSE(fs::exists(without.output));
            EXPECT_NE(without.host.AllLines().find("参考文件"), std::string::npos);
            EXPECT_TRUE(without.WorkFolderEmpty());
        }
    }
}

struct FieldDamage {
    std::string name;
    std::function<void(Bytes& file, const HeaderWalk& walk)> apply;
};

void SetPacketSizes(Bytes& file, const HeaderWalk& walk, std::uint32_t size) {
    const std::uint64_t props = walk.Find(guids::FileProperties)->offset;
    test::PutU32(file, props + fp::MinPacketSize, size);
    test::PutU32(file, props + fp::MaxPacketSize, size);
}

std::vector<FieldDamage> FieldDamages() {
    std::vector<FieldDamage> d;
    for (const std::uint32_t size : {3201u, 3199u, 1600u, 0u})
        d.push_back({"packet size " + std::to_string(size), [size](Bytes& f, const HeaderWalk& w) { SetPacketSizes(f, w, size); }});
    d.push_back({"stream number", [](Bytes& f, const HeaderWalk& w) {
                     const std::uint64_t at = w.FindAll(guids::StreamProperties).at(1)->offset + 72;
                     test::PutU16(f, at, static_cast<std::uint16_t>((test::GetU32(f, at) & 0xFF80) | 7));
                 }});
    d.push_back({"header size 0", [](Bytes& f, const HeaderWalk&) { test::PutU64(f, 16, 0); }});
    return d;
}

// Header fields that contradict the file: the rescue mends them first, plans the packet steps
// from the mended file, and its result plays like the intact file (ffmpeg's copy of the
// damaged file plays no more).
TEST(RescueRun, BrokenHeaderFieldsAreMendedAndTheFilePlaysLikeTheIntactOne) {
    for (const char* sample : kHeaderSamples) {
        const Bytes original = test::ReadFileBytes(test::SampleFile(sample));
        const HeaderWalk walk = WalkHeader(std::span(original).first(test::HeaderSizeOf(original)));
        const DecodeCheck intact = Decode(test::SampleFile(sample));
        for (const FieldDamage& damage : FieldDamages()) {
            SCOPED_TRACE(std::string(sample) + ": " + damage.name);
            Bytes damaged = original;
            damage.apply(damaged, walk);
            Fixture f(damaged);
            const auto& report = f.run.Run();
            ASSERT_EQ(report.outcome, Outcome::Done) << f.host.AllLines();
            ASSERT_FALSE(report.steps.empty());
            EXPECT_EQ(report.steps[0].kind, RescueStepKind::MendHeader);
            EXPECT_TRUE(report.steps[0].kept);
            // The mended file is the intact one, which needs nothing more: the packet steps the
            // first diagnosis planned (every packet looked damaged at the wrong size) are gone.
            EXPECT_EQ(report.steps.size(), 1u) << f.host.AllLines();
            const DecodeCheck rescued = Decode(f.output);
            ASSERT_EQ(rescued.streams.size(), intact.streams.size());
            for (std::size_t i = 0; i < intact.streams.size(); ++i)
                EXPECT_EQ(rescued.streams[i].frames, intact.streams[i].frames) << "stream " << intact.streams[i].number;
            EXPECT_TRUE(rescued.seekable);
            TempDir others;
            const DecodeCheck ffmpeg = FfmpegCopy(f.source, others);
            EXPECT_LE(ffmpeg.Frames(), rescued.Frames());
        }
    }
}

// A file whose header agrees with its packets gets no header step.
TEST(RescueRun, ConsistentHeaderIsLeftAlone) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    Fixture f(file);
    const auto& report = f.run.Run();
    EXPECT_EQ(report.outcome, Outcome::Done);
    for (const auto& step : report.steps) EXPECT_FALSE(IsHeaderStep(step.kind)) << step.title;
}

TEST(RescueRun, TheTemporaryOutputIsNamedWhileItExists) {
    // A program killed while the result is copied in removes the temporary file it was told.
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    Fixture f(file);
    std::vector<std::string> told;
    std::vector<bool> existed;
    f.run.OutputStaging = [&](const std::string& path) {
        told.push_back(path);
        existed.push_back(!path.empty() && fs::exists(path));
    };
    ASSERT_EQ(f.run.Run().outcome, Outcome::Done);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(fs::path(told[0]).parent_path(), fs::path(f.output).parent_path());
    EXPECT_NE(told[0], f.output);
    EXPECT_TRUE(existed[0]);
    EXPECT_TRUE(told[1].empty());
    EXPECT_FALSE(fs::exists(told[0]));
    EXPECT_TRUE(fs::exists(f.output));
}

TEST(RescueRun, OwnWorkFolderUnderTheSystemTempIsRemoved) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    test::DamagePackets(file, 3200, 100, 2);
    Fixture f(file);
    f.run.WorkFolder.clear();
    const auto before = [] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
            // This process's own: other programs' rescues come and go in the same folder.
            if (e.path().filename().string().rfind(WorkFolderPrefix(::getpid()), 0) == 0) names.insert(e.path().string());
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

// Bits flipped across the first key frame: the decoder writes dozens of error lines about that
// one picture and decodes the rest. It counts one error, so the file still ranks as 696 clean
// frames of 697, above a file that lost a few frames whole.
TEST(DecodeCheckPlugin, OneDamagedPictureIsOneError) {
    Bytes file = test::ReadFileBytes(test::SampleFile("a_wmv2_wmav2.wmv"));
    const std::uint64_t first = test::PacketOffset(file, 3200, 0);
    for (std::uint64_t k = 200; k < 8000; k += 211) file[first + k] ^= 0x10;
    TempDir dir;
    test::WriteFileBytes(dir / "flipped.wmv", file);
    const DecodeCheck flipped = Decode((dir / "flipped.wmv").string());
    const DecodeCheck intact = Decode(test::SampleFile("a_wmv2_wmav2.wmv"));
    ASSERT_TRUE(flipped.opened);
    EXPECT_EQ(flipped.Frames(), intact.Frames());
    EXPECT_GE(flipped.decodeErrors, 1);
    EXPECT_LE(flipped.decodeErrors, 2);
    EXPECT_GE(CleanFrames(flipped), intact.Frames() - 2);
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
