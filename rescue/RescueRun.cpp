// One whole rescue: diagnose, plan, run the steps on intermediates, keep the best file.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "asf/AsfInfo.h"
#include "asf/BinaryFile.h"
#include "asf/NullHost.h"
#include "asf/OutputNames.h"
#include "asf/StagedOutput.h"
#include "rescue/Rescue.h"
#include "rescue/RescueDecode.h"
#include "rescue/RescueSteps.h"
#include "rescue/RescueWork.h"

namespace mendery {

namespace {

constexpr char kStopped[] = "已停止. 没有写出输出文件.";
constexpr char kNeedReference[] = "文件头无法读取; 请选择一个用同样设置录制的完好文件作为参考文件, 以重建文件头.";

std::string Extension(const std::string& path) {
    std::string stem, ext;
    SplitExtension(path, stem, ext);
    return ext;
}

std::string WorseNote(const DecodeCheck& result, const DecodeCheck& best) {
    if (!result.opened) return "结果无法解码 (" + result.whyNot + "), 保留上一步的文件";
    if (result.Frames() == 0) return "结果中没有可解码的媒体, 保留上一步的文件";
    return "结果比上一步差 (" + std::to_string(result.Frames()) + " 帧, " +
           std::to_string(static_cast<long long>(result.playableSeconds)) + " 秒; 上一步 " +
           std::to_string(best.Frames()) + " 帧, " + std::to_string(static_cast<long long>(best.playableSeconds)) +
           " 秒), 保留上一步的文件";
}

std::string UnusedNote(const StepEnd& end) {
    if (!end.note.empty()) return end.note;
    return "步骤没有完成, 继续使用上一步的文件";
}

// Whether a candidate's result replaces the chain's: only when it is better (as good, the
// chain's stays) and plays no shorter. More frames in less time are frames played twice (the
// clock of a file glued after another starts again), not more of the recording.
bool CandidateBetter(const DecodeCheck& candidate, const DecodeCheck& chain) {
    return CompareDecodes(candidate, chain) > 0 && candidate.playableSeconds + kSameSecondsSlack >= chain.playableSeconds;
}

// Copies the chosen intermediate to the target through a staged output, telling `staging`
// (when set) the temporary file's path for as long as it exists.
void PutInPlace(const std::string& from, const std::string& target,
                const std::function<void(const std::string&)>& staging) {
    StagedOutput staged(target);
    const auto tell = [&](const std::string& path) {
        if (staging) staging(path);
    };
    tell(staged.TempPath());
    try {
        std::error_code ec;
        std::filesystem::copy_file(from, staged.TempPath(), std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) throw IoError("无法写出输出文件 \"" + target + "\": " + SystemReason(ec.value()));
        staged.Commit();
    } catch (...) {
        tell({});
        throw;
    }
    tell({});
}

}  // namespace

const RescueReport& RescueRun::Run() {
    report_ = RescueReport{};
    Aborted = false;
    NullHost quiet;
    IHost& host = host_ ? *host_ : quiet;
    auto end = [&](Outcome outcome, const std::string& line) -> const RescueReport& {
        report_.outcome = outcome;
        if (!line.empty()) host.Log(line);
        return report_;
    };
    const auto stop = [&] {
        host.ProcessMessages();
        return Aborted;
    };

    if (const std::string why = CheckInputFile(FileName); !why.empty())
        return end(Outcome::Failed, "无法打开源文件 \"" + FileName + "\": " + why);
    const std::string target = OutFileName.empty() ? ToolOutputName(FileName, OutputFor::Rescue) : OutFileName;
    if (const std::string line = OutputRefusalLine(FileName, target); !line.empty()) return end(Outcome::Refused, line);

    try {
        RescueWorkFolder work(WorkFolder);
        RescueContext context;
        context.source = FileName;
        context.reference = ReferenceFileName;
        context.clipwright = ClipwrightPath;
        context.clipwrightProblem = ClipwrightProblem(ClipwrightPath);
        context.aborted = &Aborted;
        context.findings = ReadFindings(InspectAsf(FileName, stop));
        if (Aborted) return end(Outcome::Aborted, kStopped);
        report_.diagnosis = context.findings.lines;
        // A reference brings a header, not packets: an empty file has none for it.
        std::error_code sizeError;
        const bool hasBytes = std::filesystem::file_size(FileName, sizeError) > 0 && !sizeError;
        const bool needsReference = context.findings.headerUnreadable && hasBytes && ReferenceFileName.empty();
        if (needsReference && !context.findings.headerPresent) report_.diagnosis.push_back(kNeedReference);

        bool pluginMissing = false;
        const auto decode = [&](const std::string& path) {
            return Decoder ? Decoder(path, stop) : DecodeFile(path, stop, &pluginMissing);
        };
        report_.before = decode(FileName);
        if (Aborted) return end(Outcome::Aborted, kStopped);
        if (pluginMissing) return end(Outcome::Refused, "无法检查解码结果: " + report_.before.whyNot);

        report_.steps = PlanSteps(context, &report_.diagnosis);
        if (observer_) observer_->Diagnosed(report_);

        // After a header step the file is another file: the packet steps are planned from
        // its own diagnosis (a wrong packet size had made every packet look damaged).
        const auto replanAfter = [&](std::size_t index, const std::string& file) {
            context.findings = ReadFindings(InspectAsf(file, stop));
            context.codecListFrom = file;
            std::vector<std::string> lines = context.findings.lines;
            std::vector<RescueStep> next = PlanSteps(context, &lines);
            report_.diagnosis.push_back(std::string(StepTitle(report_.steps[index].kind)) + "之后重新诊断:");
            report_.diagnosis.insert(report_.diagnosis.end(), lines.begin(), lines.end());
            report_.steps.resize(index + 1);
            for (auto& planned : next) {
                const auto ran = [&](const RescueStep& s) { return s.kind == planned.kind; };
                if (std::none_of(report_.steps.begin(), report_.steps.end(), ran)) report_.steps.push_back(std::move(planned));
            }
            if (observer_) observer_->PlanChanged(report_, index + 1, lines);
        };

        std::string current = FileName;
        std::string packetsStart = FileName;  // the file the packet steps start from
        bool packetStepKept = false;
        DecodeCheck best = report_.before;
        for (std::size_t i = 0; i < report_.steps.size(); ++i) {
            RescueStep& step = report_.steps[i];
            if (observer_) observer_->StepStarted(i, step);
            if (step.fromPacketsStart && !packetStepKept) {
                // The chain already went through the packets as they were.
                step.outcome = Outcome::NotRun;
                step.note = "数据块步骤的结果没有被采用, 基础修复已直接处理了它之前的文件";
                if (observer_) observer_->StepEnded(i, step);
                continue;
            }
            const std::string input = step.fromPacketsStart ? packetsStart : current;
            const std::string output = work.NewFile(i + 1, StepTag(step.kind), Extension(FileName));
            StepHost stepHost(host, step.log);
            stepHost.Log("输入文件: " + input);
            const StepEnd stepEnd = RunnerFor(step.kind)(context, stepHost, input, output);
            step.outcome = Aborted ? Outcome::Aborted : stepEnd.outcome;
            if (step.outcome == Outcome::Aborted) {
                step.note = "已停止";
                if (observer_) observer_->StepEnded(i, step);
                return end(Outcome::Aborted, kStopped);
            }
            if (stepEnd.wroteOutput) {
                step.check = decode(output);
                if (Aborted) return end(Outcome::Aborted, kStopped);
                // Neither decodes: a header step may still have mended what the next one needs;
                // a packet step's result without a decoded frame helps no later step (they would
                // read what it made of the packets instead of the packets).
                const bool noMedia = !step.check->opened || step.check->Frames() == 0;
                const int against = CompareDecodes(*step.check, best);
                const bool better = step.fromPacketsStart ? CandidateBetter(*step.check, best) : against >= 0;
                if (better && (!noMedia || IsHeaderStep(step.kind))) {
                    step.kept = true;
                    current = output;
                    best = *step.check;
                    if (IsHeaderStep(step.kind)) packetsStart = output;
                    packetStepKept |= IsPacketStep(step.kind);
                } else if (step.fromPacketsStart && against >= 0 && !noMedia) {
                    step.note = against == 0 ? "与前面步骤的结果一样好, 保留前面步骤的结果"
                                             : "帧数更多但可播放时间更短 (有重复播放的帧), 保留前面步骤的结果";
                } else {
                    step.note = WorseNote(*step.check, best);
                }
            } else {
                step.note = UnusedNote(stepEnd);
            }
            if (observer_) observer_->StepEnded(i, step);
            if (step.kept && IsHeaderStep(step.kind)) {
                replanAfter(i, current);
                if (Aborted) return end(Outcome::Aborted, kStopped);
            }
        }

        if (current == FileName && needsReference && context.findings.headerUnreadable) {
            report_.needsReference = true;
            return end(Outcome::Refused, kNeedReference);
        }
        if (report_.steps.empty())
            return end(Outcome::NothingUsable, context.findings.AnyDamage() || context.findings.headerUnreadable ? "没有适用的修复步骤. 没有写出输出文件."
                                                                             : "没有发现需要修复的问题. 没有写出输出文件.");
        if (current == FileName) return end(Outcome::NothingUsable, "没有一个步骤得到比源文件更好的结果. 没有写出输出文件.");
        if (!best.opened || best.Frames() == 0) return end(Outcome::NothingUsable, "结果中没有可解码的媒体. 没有写出输出文件.");
        if (CompareDecodes(best, report_.before) < 0)
            return end(Outcome::NothingUsable, "结果不如源文件本身. 没有写出输出文件.");
        PutInPlace(current, target, OutputStaging);
        report_.after = best;
        report_.output = target;
        return end(Outcome::Done, "输出文件: " + target);
    } catch (const IoError& e) {
        return end(Outcome::Failed, e.what());
    }
}

}  // namespace mendery
