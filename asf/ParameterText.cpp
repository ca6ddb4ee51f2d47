#include "asf/ParameterText.h"

namespace mendery {

std::vector<std::string> SplitParameterText(std::string_view text) {
    std::vector<std::string> out;
    std::string token;
    bool inToken = false, quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || (quoted && text[i + 1] == '\\'))) {
            token += text[++i];
            inToken = true;
        } else if (c == '"') {
            quoted = !quoted;
            inToken = true;  // "" is an empty argument
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
            if (inToken) out.push_back(std::move(token));
            token.clear();
            inToken = false;
        } else {
            token += c;
            inToken = true;
        }
    }
    if (inToken) out.push_back(std::move(token));
    return out;
}

std::string QuotedPath(const std::string& path) {
    // A double quote inside the path, and a backslash that would otherwise escape one, are
    // escaped so that SplitParameterText gives the path back; other paths appear as they are.
    std::string out = "\"";
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '"') out += "\\\"";
        else if (c == '\\' && (i + 1 == path.size() || path[i + 1] == '"' || path[i + 1] == '\\')) out += "\\\\";
        else out += c;
    }
    return out + "\"";
}

}  // namespace mendery
