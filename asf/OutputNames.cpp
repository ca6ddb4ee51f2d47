#include "asf/OutputNames.h"

#include <algorithm>

namespace mendery {

void SplitExtension(const std::string& path, std::string& stem, std::string& extension) {
    // The extension is the text from the last dot of the file name; a name with no dot (or only
    // a leading one, as in ".hidden") has none, so the tag is appended rather than cutting
    // characters off a name that has no extension to cut.
    std::size_t slash = path.find_last_of('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart) {
        stem = path;
        extension.clear();
    } else {
        stem = path.substr(0, dot);
        extension = path.substr(dot);
    }
}

std::string ToolOutputName(const std::string& input, OutputFor producer) {
    std::string stem, ext;
    SplitExtension(input, stem, ext);
    switch (producer) {
        case OutputFor::AdvancedRepair: return stem + ".adv" + ext;
        case OutputFor::LostChunk: return stem + ".lch" + ext;
        case OutputFor::Shrinker: return stem + ".shr" + ext;
        case OutputFor::ReEncoder: return stem + ".mp43" + ext;
        case OutputFor::Avi: return stem + ".avi";
        case OutputFor::Wav: return stem + ".wav";
        case OutputFor::Split: return stem + ".cut" + ext;
        case OutputFor::BasicRepairNew: return stem + ".bsr" + ext;
        case OutputFor::BasicRepairTemp: return input + ".tmp";
        case OutputFor::BasicRepairBackup: return input + ".旧";
        case OutputFor::BasicRepairDeclined: return stem + "已修复" + ext;
        case OutputFor::Sample: return input + ".sam";
        case OutputFor::ShrinkTemp: return input + ".tmp";
        case OutputFor::TransplantTemp: return input + ".pop";
        case OutputFor::Rescue: return stem + ".rsc" + ext;
    }
    return input;
}

namespace {

// UTF-8 text as code points, so that names in Chinese are compared character by character.
std::u32string Decode(const std::string& s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + len > s.size()) len = 1;
        char32_t cp = len == 1 ? c : c & (0x7F >> len);
        for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += len;
    }
    return out;
}

std::string Encode(const std::u32string& s) {
    std::string out;
    for (char32_t cp : s) {
        if (cp < 0x80) out += static_cast<char>(cp);
        else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string FileNameOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::u32string UpToFirstDot(const std::string& path) {
    std::string name = FileNameOf(path);
    std::size_t dot = name.find('.');
    // A name without a dot is all stem: taking it as empty would name the join "-".
    return Decode(dot == std::string::npos ? name : name.substr(0, dot));
}

}  // namespace

std::string JoinedOutputName(const std::string& first, const std::string& last) {
    std::string folder = first.substr(0, first.size() - FileNameOf(first).size());
    std::string stem, ext;
    SplitExtension(first, stem, ext);
    std::u32string a = UpToFirstDot(first), b = UpToFirstDot(last);
    std::u32string mask;
    for (std::size_t i = 0; i < a.size(); ++i) mask += (i < b.size() && a[i] == b[i]) ? U'1' : U'0';
    std::size_t d = mask.find(U'0');
    d = (d == std::u32string::npos ? a.size() : d) + 1;  // 1-based
    std::u32string rest = mask.substr(d - 1);
    std::size_t r = rest.find(U'1');
    r = (r == std::u32string::npos ? rest.size() : r) + 1;
    std::size_t keep = std::min(a.size(), d + r - 2);
    std::u32string tail = d - 1 < b.size() ? b.substr(d - 1, 100) : std::u32string();
    return folder + Encode(a.substr(0, keep)) + "-" + Encode(tail) + ext;
}

}  // namespace mendery
