// The before/after table of a rescue and its steps, as aligned text lines.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "rescue/Rescue.h"
#include "rescue/RescueText.h"

namespace mendery {

namespace {

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s);
    return text;
}

std::string YesNo(bool b) { return b ? "是" : "否"; }

struct Row {
    std::string label, before, after;
};

std::int64_t FramesOf(const DecodeCheck& c, int number) {
    for (const auto& s : c.streams)
        if (s.number == number) return s.frames;
    return 0;
}

std::vector<Row> Rows(const RescueReport& r) {
    const DecodeCheck& before = r.before;
    const DecodeCheck* after = r.after ? &*r.after : nullptr;
    auto cell = [](const DecodeCheck* c, const std::string& text) { return c && c->opened ? text : "-"; };
    std::vector<Row> rows;
    rows.push_back({"", "修复前", "修复后"});
    rows.push_back({"可播放秒数", cell(&before, Seconds(before.playableSeconds)),
                    cell(after, after ? Seconds(after->playableSeconds) : "")});
    // Every stream either side has, in stream number order.
    std::map<int, std::string> kinds;
    for (const auto& s : before.streams) kinds[s.number] = s.kind;
    if (after)
        for (const auto& s : after->streams) kinds.emplace(s.number, s.kind);
    for (const auto& [number, kind] : kinds)
        rows.push_back({kind + "流 " + std::to_string(number) + " 帧数", cell(&before, std::to_string(FramesOf(before, number))),
                        cell(after, after ? std::to_string(FramesOf(*after, number)) : "")});
    rows.push_back({"解码错误", cell(&before, std::to_string(before.decodeErrors)),
                    cell(after, after ? std::to_string(after->decodeErrors) : "")});
    rows.push_back({"可定位", cell(&before, YesNo(before.seekable)), cell(after, after ? YesNo(after->seekable) : "")});
    return rows;
}

}  // namespace

std::vector<std::string> RescueTable(const RescueReport& report) {
    const std::vector<Row> rows = Rows(report);
    std::size_t w0 = 0, w1 = 0;
    for (const auto& row : rows) {
        w0 = std::max(w0, DisplayWidth(row.label));
        w1 = std::max(w1, DisplayWidth(row.before));
    }
    std::vector<std::string> lines;
    for (const auto& row : rows)
        lines.push_back(PadRight(row.label, w0 + 2) + PadRight(row.before, w1 + 2) + row.after);
    if (!report.before.opened && !report.before.whyNot.empty()) lines.push_back("修复前无法解码: " + report.before.whyNot);
    for (std::size_t i = 0; i < report.steps.size(); ++i) lines.push_back(StepLine(i, report.steps[i]));
    return lines;
}

}  // namespace mendery
