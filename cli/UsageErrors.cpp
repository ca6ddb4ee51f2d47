#include "cli/UsageErrors.h"

#include <cerrno>
#include <regex>
#include <sstream>
#include <vector>

#include "asf/BinaryFile.h"

namespace mendery::cli {
namespace {

// The parser's texts this file rewrites; anything else keeps its words after a Chinese lead.
const std::regex kRequired(R"(^(.*) is required$)");
const std::regex kExtras(R"(^The following arguments? (?:was|were) not expected: (.*)$)");
const std::regex kNamedMessage(R"(^(-[^:]*|[A-Z][A-Z_]*): (.*)$)");
const std::regex kNotInSet(R"(^(.*) not in \{(.*)\}$)");
const std::regex kNotInRange(R"(^Value (.*) not in range (\S+) to (\S+)$)");
const std::regex kNotConverted(R"(^Value (.*) could not be converted.*$)");
const std::regex kCouldNotConvert(R"(^Could not convert: (.*) = (.*)$)");
const std::regex kMissingValue(R"(^(.*): \d+ required (.*) missing$)");
const std::regex kExpectedCount(R"(^Expected (?:exactly|at least) (\d+) arguments? to (.*), got (\d+)$)");
const std::regex kExcludes(R"(^(.*) excludes (.*)$)");
const std::regex kRequires(R"(^(.*) requires (.*)$)");
const std::regex kNoFile(R"(^File does not exist: (.*)$)");
const std::regex kFolder(R"(^File is actually a directory: (.*)$)");

std::string ValueText(const std::string& message) {
    std::smatch m;
    if (std::regex_match(message, m, kNotInSet)) return "值 \"" + m[1].str() + "\" 无效, 可用的值: " + m[2].str();
    if (std::regex_match(message, m, kNotInRange))
        return "值 " + m[1].str() + " 超出范围 (" + m[2].str() + " 到 " + m[3].str() + ")";
    if (std::regex_match(message, m, kNotConverted)) return "值 \"" + m[1].str() + "\" 不是有效的数值";
    if (std::regex_match(message, m, kNoFile)) return "无法读取输入文件 \"" + m[1].str() + "\": " + SystemReason(ENOENT);
    if (std::regex_match(message, m, kFolder)) return "无法读取输入文件 \"" + m[1].str() + "\": 这是一个文件夹, 不是文件";
    return message;
}

// The parser lists unexpected arguments last first.
std::string InGivenOrder(const std::string& reversed) {
    std::vector<std::string> words;
    std::istringstream in(reversed);
    for (std::string w; in >> w;) words.insert(words.begin(), w);
    std::string out;
    for (const auto& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

bool IsChinese(const std::string& text) {
    // Every CJK ideograph of the basic block starts with a byte E4..E9 in UTF-8.
    for (unsigned char c : text)
        if (c >= 0xE4 && c <= 0xE9) return true;
    return false;
}

}  // namespace

// Told apart by type: an error's name is not always its kind (an unexpected argument of a
// subcommand carries the subcommand's name).
std::string UsageErrorText(const CLI::Error& error) {
    const std::string what = error.what();
    std::smatch m;
    if (dynamic_cast<const CLI::RequiredError*>(&error)) {
        if (what == "A subcommand is required") return "缺少要运行的命令 (repair, recover, info ...)";
        if (std::regex_match(what, m, kRequired)) return "缺少必需的参数: " + m[1].str();
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&error) && std::regex_match(what, m, kExtras))
        return "未知的选项或多余的参数: " + InGivenOrder(m[1].str());
    if (dynamic_cast<const CLI::ValidationError*>(&error)) {
        if (std::regex_match(what, m, kNamedMessage)) {
            // A check that explains itself (an input or log file that cannot be opened) names
            // the file; the option's name adds nothing.
            if (IsChinese(m[2].str())) return m[2].str();
            const std::string text = ValueText(m[2].str());
            if (text.rfind("无法读取输入文件", 0) == 0) return text;
            return "参数 " + m[1].str() + " 的值无效: " + text;
        }
        return "参数的值无效: " + ValueText(what);
    }
    if (dynamic_cast<const CLI::ConversionError*>(&error) && std::regex_match(what, m, kCouldNotConvert))
        return "参数 " + m[1].str() + " 的值无效: \"" + m[2].str() + "\"";
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        if (std::regex_match(what, m, kMissingValue)) return "参数 " + m[1].str() + " 缺少值";
        if (std::regex_match(what, m, kExpectedCount))
            return "参数 " + m[2].str() + " 需要 " + m[1].str() + " 个值, 实际给出 " + m[3].str() + " 个";
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&error) && std::regex_match(what, m, kExcludes))
        return "参数 " + m[1].str() + " 和 " + m[2].str() + " 不能同时使用";
    if (dynamic_cast<const CLI::RequiresError*>(&error) && std::regex_match(what, m, kRequires))
        return "参数 " + m[1].str() + " 需要同时给出 " + m[2].str();
    return "命令行有误: " + what;
}

std::string UsageFailureMessage(const CLI::App* app, const CLI::Error& error) {
    std::string command = "mendery-cli";
    if (app && app->get_parent()) command += " " + app->get_name();
    return "错误: " + UsageErrorText(error) + "\n用 \"" + command + " --help\" 查看用法.\n";
}

int UsageErrorExitCode(const CLI::Error& error) {
    const std::string what = error.what();
    if (dynamic_cast<const CLI::ValidationError*>(&error) &&
        (what.find(": File does not exist: ") != std::string::npos || what.find(": File is actually a directory: ") != std::string::npos))
        return 3;
    return 2;
}

}  // namespace mendery::cli
