#include "asf/Format.h"

#include <cstdio>
#include <stdexcept>

namespace mendery {

namespace {
std::string WithThousands(std::int64_t v) {
    std::string digits = std::to_string(v < 0 ? -v : v);
    std::string out;
    int n = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it, ++n) {
        if (n && n % 3 == 0) out.insert(out.begin(), ',');
        out.insert(out.begin(), *it);
    }
    return (v < 0 ? "-" : "") + out;
}
std::string TwoDigits(std::int64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02lld", static_cast<long long>(v));
    return buf;
}
}  // namespace

std::string FormatSize(std::int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes);
    if (bytes < 1048576) return std::to_string(bytes / 1024) + "KB";
    // One decimal, rounded: count / 1048576 to tenths.
    std::int64_t tenths = (bytes * 10 + 524288) / 1048576;
    return WithThousands(tenths / 10) + "." + std::to_string(tenths % 10) + "MB";
}

std::string FormatClock(std::int64_t s) {
    if (s < 0) s = 0;
    return TwoDigits(s / 3600) + ":" + TwoDigits((s % 3600) / 60) + ":" + TwoDigits(s % 60);
}

std::string FormatTenths(std::int64_t t) {
    if (t < 0) t = 0;
    return FormatClock(t / 10) + "." + std::to_string(t % 10);
}

std::string FormatLine(std::string_view f, std::initializer_list<FmtArg> args) {
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') {
            out += f[i];
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::size_t width = 0;
        ++i;
        while (i < f.size() && f[i] >= '0' && f[i] <= '9') width = width * 10 + (f[i++] - '0');
        if (i >= f.size()) throw std::invalid_argument("log format ends in a field");
        if (next == args.end()) throw std::invalid_argument("log format has more fields than values");
        const FmtArg& a = *next++;
        std::string text;
        char conv = f[i];
        if (conv == 's') {
            text = std::holds_alternative<std::string>(a) ? std::get<std::string>(a) : std::to_string(std::get<std::int64_t>(a));
        } else {
            std::int64_t v = std::holds_alternative<std::int64_t>(a) ? std::get<std::int64_t>(a) : 0;
            char buf[32];
            if (conv == 'x' || conv == 'X') std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
            else if (conv == 'd' || conv == 'u') std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
            else throw std::invalid_argument("unknown log format field");
            text = buf;
        }
        if (text.size() < width) out.append(width - text.size(), ' ');
        out += text;
    }
    return out;
}

}  // namespace mendery
