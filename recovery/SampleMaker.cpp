#include "recovery/SampleMaker.h"

#include <vector>

#include "asf/OutputNames.h"
#include "asf/BinaryFile.h"
#include "asf/StagedOutput.h"

namespace mendery {

std::string SampleMaker::ResultText(const std::string& damagedFile) {
    return "样本文件是 \"" + ToolOutputName(damagedFile, OutputFor::Sample) + "\"";
}

SampleResult SampleMaker::MakeSample(const std::string& damagedFile) {
    SampleResult result;
    result.samplePath = ToolOutputName(damagedFile, OutputFor::Sample);
    try {
        // PATH.sam can still name the source itself through a link.
        const std::string refusal = CheckOutputPath(damagedFile, result.samplePath);
        if (!refusal.empty()) throw IoError(refusal);
        BinaryFile source(damagedFile, BinaryFile::Mode::Read);
        std::vector<std::uint8_t> buffer(kSampleSize);
        const std::size_t n = source.Read(buffer);
        source.Close();
        // An empty sample shows nothing to whoever diagnoses it.
        if (n == 0) throw IoError(kEmptySource);
        // Written beside the sample's name and put in place whole: a sample cut short by a
        // write error would mislead, and an earlier sample stays when this one fails.
        StagedOutput staged(result.samplePath);
        BinaryFile sample(staged.TempPath(), BinaryFile::Mode::Create);
        sample.Write(std::span(buffer).first(n));
        sample.Close();
        staged.Commit();
        result.ok = true;
        result.bytes = static_cast<std::int64_t>(n);
    } catch (const IoError& e) {
        result.error = e.what();
        host_.Message("创建样本文件失败.", MessageKind::Plain);
    }
    return result;
}

}  // namespace mendery
