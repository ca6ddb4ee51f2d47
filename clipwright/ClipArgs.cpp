#include "clipwright/ClipArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "asf/ParameterText.h"

namespace mendery {
namespace {

bool ParseSeconds(const std::string& text, double& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(out) && out >= 0 && out < 1e9;
}

}  // namespace

std::optional<ClipArgs> ParseClipArgs(std::vector<std::string> tokens, std::string& error) {
    if (tokens.size() == 1 && tokens[0].find(' ') != std::string::npos && tokens[0].rfind("-", 0) == 0)
        tokens = SplitParameterText(tokens[0]);
    ClipArgs a;
    auto value = [&](std::size_t& i, const std::string& name) -> const std::string* {
        if (i + 1 >= tokens.size()) {
            error = name + " 后面缺少值";
            return nullptr;
        }
        return &tokens[++i];
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t == "-i") {
            auto v = value(i, t);
            if (!v) return std::nullopt;
            a.inputs.push_back(*v);
        } else if (t == "-o") {
            auto v = value(i, t);
            if (!v) return std::nullopt;
            if (!a.output.empty()) {
                error = "-o 只能给一次";
                return std::nullopt;
            }
            a.output = *v;
        } else if (t == "-y") {
            a.overwrite = true;
        } else if (t == "-resync") {
            a.resync = true;
        } else if (t == "-istart") {
            a.istart = true;
        } else if (t == "-b") {
            a.sameBitrate = true;
        } else if (t == "-start") {
            auto v = value(i, t);
            ClipPiece p;
            if (!v || !ParseSeconds(*v, p.start)) {
                if (v) error = "-start 需要一个秒数, 而不是 \"" + *v + "\"";
                return std::nullopt;
            }
            a.pieces.push_back(p);
            a.cut = true;
        } else if (t == "-dur") {
            auto v = value(i, t);
            if (!v) return std::nullopt;
            if (a.pieces.empty() || a.pieces.back().duration) {
                error = "-dur 必须跟在 -start 之后";
                return std::nullopt;
            }
            double d = 0;
            if (!ParseSeconds(*v, d)) {
                error = "-dur 需要一个不小于 0 的秒数, 而不是 \"" + *v + "\"";
                return std::nullopt;
            }
            a.pieces.back().duration = d;
        } else {
            error = "未知的参数 \"" + t + "\"";
            return std::nullopt;
        }
    }
    if (a.inputs.empty()) {
        error = "没有输入文件 (-i)";
        return std::nullopt;
    }
    if (a.output.empty()) {
        error = "没有输出文件 (-o)";
        return std::nullopt;
    }
    if (a.cut && a.inputs.size() > 1) {
        error = "分割 (-start/-dur) 只能有一个输入文件";
        return std::nullopt;
    }
    // A piece of zero length keeps nothing: it is no piece.
    std::erase_if(a.pieces, [](const ClipPiece& p) { return p.duration && *p.duration == 0; });
    return a;
}

}  // namespace mendery
