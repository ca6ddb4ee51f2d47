#pragma once
// Text helpers shared by every tool: sizes, clock times and the log line formatter.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace mendery {

// 512 -> "512", 1048575 -> "1023KB", 1294467072 -> "1,234.5MB".
std::string FormatSize(std::int64_t bytes);
// 3725 -> "01:02:05"; hours may have more than two digits.
std::string FormatClock(std::int64_t seconds);
// A time in tenths of a second: FormatClock(t / 10) + "." + (t % 10).
std::string FormatTenths(std::int64_t tenths);

using FmtArg = std::variant<std::int64_t, std::string>;

// Formats a log line in the program's own convention: %x and %X both give upper-case hex,
// %d decimal, %s text, an optional width pads with spaces on the left (no zero flag: "%02X"
// of 5 is " 5"), a negative value in hex prints as its 16-digit two's complement, %% is "%".
std::string FormatLine(std::string_view format, std::initializer_list<FmtArg> args);

template <typename... Args>
std::string Fmt(std::string_view format, Args&&... args) {
    auto arg = [](auto&& a) -> FmtArg {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_integral_v<T>) return static_cast<std::int64_t>(a);
        else return std::string(a);
    };
    return FormatLine(format, {arg(std::forward<Args>(args))...});
}

}  // namespace mendery
