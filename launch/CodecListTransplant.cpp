#include "launch/CodecListTransplant.h"

#include <fcntl.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "asf/OutputNames.h"
#include "asf/AsfObjects.h"
#include "asf/BinaryFile.h"
#include "asf/BufferedOutput.h"
#include "asf/PageCopy.h"
#include "asf/ByteCursor.h"

namespace mendery {
namespace {

// The bytes copied between two looks at the stop and the progress.
constexpr std::size_t kBlock = 1 << 20;

// The header object of `path` (whole), or nothing when it is not ASF. Throws IoError.
std::optional<std::vector<std::uint8_t>> ReadHeaderObject(BinaryFile& f, std::uint64_t limit, bool& tooLarge) {
    tooLarge = false;
    std::vector<std::uint8_t> head(kHeaderObjectFixedSize);
    if (f.Read(head) != head.size()) return std::nullopt;
    ByteCursor c(head);
    auto oh = ObjectHeader::Read(c);
    if (oh.guid != guids::HeaderObject || oh.size < kHeaderObjectFixedSize) return std::nullopt;
    if (oh.size > limit || oh.size > static_cast<std::uint64_t>(f.Size())) {
        tooLarge = oh.size > limit;
        if (!tooLarge) return std::nullopt;
        return std::vector<std::uint8_t>{};
    }
    head.resize(oh.size);
    f.ReadExact(std::span(head).subspan(kHeaderObjectFixedSize));
    return head;
}

void Remove(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

}  // namespace

TransplantResult TransplantCodecList(IHost& host, const std::string& source, const std::string& output,
                                     const std::function<bool()>& stopped) {
    host.SetStatus("0%");
    // The source's codec list.
    std::vector<std::uint8_t> codecList;
    try {
        BinaryFile src(source, BinaryFile::Mode::Read);
        bool tooLarge = false;
        auto header = ReadHeaderObject(src, kTransplantSourceHeaderMax, tooLarge);
        if (tooLarge) {
            host.Log("编解码器列表未复制: 源文件的文件头对象大于 " + std::to_string(kTransplantSourceHeaderMax) + " 字节");
            return TransplantResult::HeaderTooLarge;
        }
        if (!header) return TransplantResult::NoCodecList;
        const HeaderWalk walk = WalkHeader(*header);
        const SubObject* cl = walk.Find(guids::CodecList);
        if (!cl) return TransplantResult::NoCodecList;
        if (cl->size > kTransplantCodecListMax) {
            host.Log("编解码器列表未复制: 编解码器列表对象大于 " + std::to_string(kTransplantCodecListMax) + " 字节");
            return TransplantResult::HeaderTooLarge;
        }
        codecList.assign(header->begin() + cl->offset, header->begin() + cl->offset + cl->size);
    } catch (const IoError&) {
        return TransplantResult::NoCodecList;
    }

    if (!FileExists(output)) return TransplantResult::NoOutput;
    const std::string pop = ToolOutputName(output, OutputFor::TransplantTemp);
    try {
        BinaryFile out(output, BinaryFile::Mode::Read);
        const std::int64_t outSize = out.Size();
        bool tooLarge = false;
        auto header = ReadHeaderObject(out, kTransplantOutputHeaderMax, tooLarge);
        if (tooLarge) {
            host.Log("编解码器列表未复制: 输出文件的文件头对象大于 " + std::to_string(kTransplantOutputHeaderMax) + " 字节");
            return TransplantResult::HeaderTooLarge;
        }
        if (!header) return TransplantResult::OutputNotAsf;
        const HeaderWalk walk = WalkHeader(*header);
        if (walk.Find(guids::CodecList)) return TransplantResult::OutputHasOne;

        // The new header: one more object, larger by the codec list; a file size field that
        // stated the output's size states the new size.
        const std::uint64_t oldHeaderSize = header->size();
        BytePatcher w(*header);
        w.U32At(24, walk.declaredCount + 1);
        w.U64At(16, oldHeaderSize + codecList.size());
        if (const SubObject* fpo = walk.Find(guids::FileProperties); fpo && fpo->size >= kFilePropertiesSize) {
            const std::uint64_t at = fpo->offset + fp::FileSize;
            if (ReadU64At(*header, at) == static_cast<std::uint64_t>(outSize)) w.U64At(at, outSize + codecList.size());
        }

        BufferedOutput dst;
        dst.Create(pop);
        dst.Reserve(outSize + static_cast<std::int64_t>(codecList.size()));
        try {
            dst.Write(*header);
            dst.Write(codecList);
            const std::int64_t maximum = outSize / 1024;
            host.SetProgressRange(maximum);
            // Block by block from where the read put it: the one copy into the file's pages is
            // all the bytes take on their way (the codec list shifts them, so the kernel could
            // not copy them page by page).
            BlockBuffer block(kBlock);
            std::int64_t read = static_cast<std::int64_t>(oldHeaderSize);
            out.Seek(read);
            for (;;) {
                const auto room = block.Place(read, kBlock, dst.Tell());
                const std::size_t n = out.Read(room);
                if (n == 0) break;
                dst.WriteInPlace(room.first(n));
                read += static_cast<std::int64_t>(n);
                const std::int64_t position = read / 1024;
                host.SetProgress(std::min(position, maximum));
                host.SetStatus(std::to_string(maximum > 0 ? std::min<std::int64_t>(position * 100 / maximum, 100) : 100) + "%");
                host.ProcessMessages();
                if (stopped && stopped()) {
                    dst.CloseUnflushed();
                    Remove(pop);
                    return TransplantResult::Stopped;
                }
            }
            dst.Close();
        } catch (...) {
            dst.CloseUnflushed();
            Remove(pop);
            throw;
        }
        out.Close();
        // Swapped in one step, the new file takes the output's name and the output the new
        // file's, which is then removed: the output is either the new file or the old one at
        // every moment. A rename over the output would do the same, but ext4 then writes the
        // whole new file back inside the rename (217 ms of a 300 MB basic repair). File systems
        // that cannot swap two names get the rename.
        if (::renameat2(AT_FDCWD, pop.c_str(), AT_FDCWD, output.c_str(), RENAME_EXCHANGE) == 0) {
            Remove(pop);
            return TransplantResult::Done;
        }
        std::filesystem::rename(pop, output);
        return TransplantResult::Done;
    } catch (const IoError& e) {
        Remove(pop);
        host.Log(std::string("编解码器列表未复制: ") + e.what());
        return TransplantResult::Failed;
    } catch (const std::filesystem::filesystem_error& e) {
        Remove(pop);
        host.Log(std::string("编解码器列表未复制: ") + e.what());
        return TransplantResult::Failed;
    }
}

}  // namespace mendery
