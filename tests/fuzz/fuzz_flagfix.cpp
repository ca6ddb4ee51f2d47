// libFuzzer target: the flag fixer on arbitrary files. The first byte answers the question
// about live (odd: Yes), the rest is the file. Whatever the input, the fixer may change at most
// the four bytes of one flags field: anything else aborts.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "FuzzSupport.h"
#include "repair/FlagFixer.h"

using namespace mendery;

namespace {
class AnsweringHost : public NullHost {
public:
    explicit AnsweringHost(bool yes) : yes_(yes) {}
    Answer Ask(std::string_view, Buttons, MessageKind) override { return yes_ ? Answer::Yes : Answer::No; }

private:
    bool yes_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    if (size < 1) return 0;
    const std::string path = scratch.Write("in.asf", data + 1, size - 1);
    AnsweringHost host(data[0] & 1);
    FlagFixer(host).FixFlags(path);
    static std::vector<std::uint8_t> after;
    scratch.Read("in.asf", after);
    if (after.size() != size - 1) std::abort();
    std::size_t first = after.size(), last = 0;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (after[i] != data[1 + i]) {
            first = std::min(first, i);
            last = i;
        }
    if (first < after.size() && last - first >= 4) std::abort();
    return 0;
}
