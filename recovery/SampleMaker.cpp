#include "recovery/SampleMaker.h"

#include <filesystem>
#include <vector>

#include "app/OutputNames.h"
#include "engine/BinaryFile.h"

namespace mendery {

std::string TSampleMaker::ResultText(const std::string& damagedFile) {
    return "样本文件是 \"" + ToolOutputName(damagedFile, OutputFor::Sample) + "\"";
}

TSampleResult TSampleMaker::MakeSample(const std::string& damagedFile) {
    TSampleResult result;
    result.samplePath = ToolOutputName(damagedFile, OutputFor::Sample);
    bool created = false;
    try {
        // PATH.sam can still name the source itself through a link.
        const std::string refusal = CheckOutputPath(damagedFile, result.samplePath);
        if (!refusal.empty()) throw IoError(refusal);
        BinaryFile source(damagedFile, BinaryFile::Mode::Read);
        std::vector<std::uint8_t> buffer(kSampleSize);
        const std::size_t n = source.Read(buffer);
        source.Close();
        BinaryFile sample(result.samplePath, BinaryFile::Mode::Create);
        created = true;
        sample.Write(std::span(buffer).first(n));
        sample.Close();
        result.ok = true;
        result.bytes = static_cast<std::int64_t>(n);
    } catch (const IoError& e) {
        result.error = e.what();
        // A sample cut short by a write error would mislead whoever diagnoses it.
        std::error_code ec;
        if (created) std::filesystem::remove(result.samplePath, ec);
        host_.Message("创建样本文件失败.", MessageKind::Plain);
    }
    return result;
}

}  // namespace mendery
