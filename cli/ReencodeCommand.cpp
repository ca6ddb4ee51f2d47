// mendery-cli reencode: the re-encoder. Proposes settings from the source's header as the
// frame does, takes the user's adjustments, runs the encoder engine and polls it every
// 250 ms, showing position, remaining time and estimated size.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "asf/OutputNames.h"
#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "convert/MediaEncoder.h"
#include "asf/BinaryFile.h"

namespace mendery::cli {
namespace {

struct ReencodeArgs {
    std::string source, output;
    int audioRow = -1, videoPercent = -1, fps = -1, quality = -1;
};

// One status line: position / length, remaining time and estimated size, as the frame shows them.
std::string StatusLine(const TMediaEncoder::TControls& c) {
    return c.EncoderState + "  " + c.PositionText + "  剩余时间: " + c.RemainingTime + "  估计大小: " + c.OutputSize;
}

void ApplyArgs(TMediaEncoder& frame, const ReencodeArgs& a) {
    if (a.audioRow >= 0) frame.SetAudioRow(a.audioRow);
    if (a.videoPercent >= 0) frame.SetVideoPercent(a.videoPercent);
    if (a.quality >= 0) frame.SetQuality(a.quality);
    if (a.fps >= 0) frame.SetFrameRate(a.fps);
}

void LogSettings(CliHost& host, const TMediaEncoder& frame) {
    const auto& c = frame.Controls();
    host.Say("音频比特率: " + c.AudioFormatPanel);
    host.Say("视频比特率: " + c.VideoBitratePanel + " (" + std::to_string(c.VideoPercentBar) + "%)");
    host.Say("全部比特率: " + c.TotalBitratePanel);
    host.Say("平均视频帧率: " + c.FrameRatePanel + "  图像质量: " + c.QualityPanel);
}

// Prepares the frame, applies the user's settings and starts the encoder. Empty when it runs,
// else how the command ends (the reason was shown).
std::optional<RunResult> StartEncoder(CliHost& host, TMediaEncoder& frame, RunButton& button, const ReencodeArgs& args) {
    try {
        if (!frame.Prepare(&button)) return RunResult::Refused;
        ApplyArgs(frame, args);
        LogSettings(host, frame);
        frame.StartStop();
    } catch (const IoError& e) {
        host.Message(e.what(), MessageKind::Error);
        return RunResult::IoError;
    } catch (const std::exception& e) {
        host.Message(e.what(), MessageKind::Error);
        return RunResult::Refused;
    }
    return std::nullopt;
}

// The frame's timer: a tick every 250 ms (or at once when the encoder ends) until a tick sees
// the encoder stopped. The status goes to the terminal's status line, or every 5 s into the log.
void PollEncoder(CliHost& host, TMediaEncoder& frame, bool json) {
    const bool terminal = ::isatty(2) != 0;
    int ticks = 0;
    while (frame.Controls().PollTimerEnabled) {
        const std::chrono::milliseconds interval(TMediaEncoder::kTimerIntervalMs);
        if (auto* encoder = frame.Encoder()) encoder->WaitUntilStopped(interval);
        else std::this_thread::sleep_for(interval);
        host.ProcessMessages();
        frame.Timer1Timer();
        const auto& c = frame.Controls();
        if (!c.PollTimerEnabled) break;
        if (terminal) host.SetStatus(StatusLine(c));
        else if (++ticks % 20 == 0 && !json) host.Say(StatusLine(c));
    }
    host.FinishProgress();
}

// How the encode ended; an error the encoder did not get from the disk is the input's.
RunResult EncodeResult(const TMediaEncoder& frame) {
    const auto* encoder = frame.Encoder();
    RunResult ran = ResultOf(frame.LastOutcome());
    if (ran == RunResult::IoError && encoder && !encoder->LastErrorIsIo()) ran = RunResult::Refused;
    if (ran == RunResult::NotRun) ran = RunResult::Refused;
    return ran;
}

void PrintJson(const ReencodeArgs& args, const TMediaEncoder& frame, const CommandOutput& output, std::int64_t outputSize) {
    const auto* encoder = frame.Encoder();
    const std::string error = encoder ? encoder->LastError() : "没有编码器";
    nlohmann::json j = {{"tool", "reencode"},
                        {"source", args.source},
                        {"audioRow", frame.Controls().AudioRowBar},
                        {"audioBitrate", frame.AudioFormat.Bitrate},
                        {"audioSamplesPerSec", frame.AudioFormat.SamplesPerSec},
                        {"audioChannels", frame.AudioFormat.Channels},
                        {"videoWidth", frame.VideoWidth},
                        {"videoHeight", frame.VideoHeight},
                        {"videoBitrate", frame.VideoBitrate},
                        {"frameRate", frame.FrameRate},
                        {"quality", frame.Quality},
                        {"outputSize", output.Kept() ? outputSize : 0}};
    output.AddToJson(j);
    if (!error.empty()) j["error"] = error;
    std::printf("%s\n", j.dump(2).c_str());
}

int RunReencode(const ReencodeArgs& args, const CommonOptions& common) {
    CliHost host(common);
    CommandOutput output(host, common);
    if (auto refused =
            output.Open(args.source, args.output.empty() ? ToolOutputName(args.source, OutputFor::ReEncoder) : args.output))
        return *refused;
    TMediaEncoder frame(host);
    frame.SessionFolder = SessionFolderFor(RunningProgramFolder());
    frame.FileName = args.source;
    frame.SetEdit1(output.WorkPath());
    RunButton button;
    // A stop before the encoder runs is kept by the frame until its start, which then writes
    // nothing; during the encode it stops the encoder.
    host.OnStopRequest = [&] { frame.RequestStop(); };

    if (const auto notStarted = StartEncoder(host, frame, button, args)) {
        output.Finish({*notStarted, 0, "数据块"});
        if (common.json) {
            nlohmann::json j = {{"tool", "reencode"}, {"source", args.source}};
            output.AddToJson(j);
            std::printf("%s\n", j.dump(2).c_str());
        }
        return ExitCodeFor(*notStarted);
    }
    PollEncoder(host, frame, common.json);

    const std::int64_t packets = DataPacketsIn(output.WorkPath());
    const std::int64_t outputSize = FileSizeOf(output.WorkPath());
    const RunResult result = output.Finish({EncodeResult(frame), packets});
    if (common.json) PrintJson(args, frame, output, outputSize);
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<ReencodeArgs>();
    app.add_option("SOURCE", a->source, "the ASF file to re-encode")->required();
    app.add_option("-o,--output", a->output, "output file (default: stem.mp43.ext beside the source)");
    app.add_option("--audio-row", a->audioRow, "row 0..33 of the audio format table (default: chosen from the source's audio)")
        ->check(CLI::Range(0, 33));
    app.add_option("--video-percent", a->videoPercent, "video bitrate in percent of width x height x 4 bits/s (default 100)")
        ->check(CLI::Range(6, 300));
    app.add_option("--fps", a->fps, "frames per second (default 30)")->check(CLI::Range(4, 30));
    app.add_option("--quality", a->quality, "0 smoother motion .. 100 sharper pictures (default 100)")->check(CLI::Range(0, 100));
    auto common = AddCommonOptions(app);
    return [a, common] { return RunReencode(*a, *common); };
}

const bool registered =
    RegisterCommand({"reencode", "re-encode to MPEG-4 v3 video and WMA v2 audio in a new ASF file", 80, Setup});

}  // namespace
}  // namespace mendery::cli
