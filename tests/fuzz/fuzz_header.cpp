// libFuzzer target: the header mends and the header rebuilt from a reference file, on
// arbitrary files. The first byte chooses the reference (a file with error-correction data, or
// one without), the rest is the damaged file. Neither input may change: anything else aborts.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "asf/AsfObjects.h"
#include "recovery/HeaderBytes.h"
#include "recovery/HeaderMend.h"
#include "recovery/HeaderRebuild.h"

using namespace mendery;

namespace {

// A reference cut after its first packets, in the scratch folder. The rebuild takes from a
// reference its header, its packet size and layout, found over its first packets; reading and
// searching the whole file again for every input was a fifth of the time per input.
std::string ShortReference(const fuzz::Scratch& scratch, const std::string& name) {
    std::vector<std::uint8_t> bytes;
    fuzz::Scratch::ReadPath(MENDERY_FUZZ_DATA "/" + name, bytes);
    const auto dataAt = LocateDataObject(bytes);
    if (!dataAt) std::abort();
    const std::size_t keep = std::min<std::size_t>(bytes.size(), *dataAt + kDataObjectHeadSize + 64 * 1024);
    return scratch.Write(name, bytes.data(), keep);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    static const std::string references[] = {ShortReference(scratch, "a_wmv2_wmav2.wmv"),
                                             ShortReference(scratch, "k_gst_asfmux_wmv2_wmav2.wmv")};
    if (size < 1) return 0;
    const std::string source = scratch.Write("in.asf", data + 1, size - 1);
    NullHost host;
    bool changed = false;
    (void)MendHeaderFields(source, scratch.Fresh("mended.asf"), host, &changed);
    (void)RebuildHeaderFromReference(source, references[data[0] & 1], scratch.Fresh("rebuilt.asf"), host);
    static std::vector<std::uint8_t> after;
    scratch.Read("in.asf", after);
    if (after.size() != size - 1 || !std::equal(after.begin(), after.end(), data + 1)) std::abort();
    return 0;
}
