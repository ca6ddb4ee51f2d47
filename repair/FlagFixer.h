#pragma once
// The seekable and live flag fixer: makes an ASF file seekable or, when it already is, offers to
// mark it live (broadcast). Unlike every other tool it changes the file itself, and only the four
// bytes of the file properties' flags field. Every outcome reaches the user as a message box
// through the host; the question about live goes through the host too.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "asf/BinaryFile.h"

#include "asf/Host.h"

namespace mendery {

enum class FlagFixResult {
    NotAsf,            // no header object GUID at offset 0: untouched
    NoFileProperties,  // the header holds no file properties object: untouched, no message
    NewStyle,          // flag bits above bit 1 are set: untouched
    SetSeekable,       // flags rewritten to 2
    SetLive,           // flags rewritten to 1
    Declined,          // already seekable, the user did not want live: untouched
    Refused,           // the header does not fit the buffer or cannot be walked: untouched
    IoFailed,          // an input/output error ended the operation
};

class FlagFixer {
public:
    static constexpr std::size_t kHeaderBufferSize = 64000;  // header object body

    explicit FlagFixer(IHost& host) : host_(host) {}
    FlagFixResult FixFlags(const std::string& path);
    // The dialog's label: the path of the file processed last.
    const std::string& LastPath() const { return lastPath_; }

private:
    FlagFixResult Run(const std::string& path);
    // The header object into `header` (`held` bytes of it), or why the flags stay as they are.
    std::optional<FlagFixResult> ReadHeaderObject(BinaryFile& f, const std::string& path,
                                                   std::vector<std::uint8_t>& header, std::size_t& held);
    FlagFixResult ChangeFlags(BinaryFile& f, const std::string& path, std::uint64_t flagsAt, std::uint32_t flags);
    IHost& host_;
    std::string lastPath_;
};

}  // namespace mendery
