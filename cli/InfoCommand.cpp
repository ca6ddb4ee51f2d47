// mendery-cli info: what is inside an ASF file and where it is damaged.
#include <nlohmann/json.hpp>

#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "asf/AsfInfo.h"
#include "asf/Format.h"

namespace mendery::cli {
namespace {

// Machine-readable tokens for --json.
const char* WalkEndText(WalkEnd e) {
    switch (e) {
        case WalkEnd::Complete: return "complete";
        case WalkEnd::SizeTooSmall: return "stopped at an object smaller than 24 bytes";
        case WalkEnd::RunsPastEnd: return "stopped at an object running past the header";
        case WalkEnd::BytesMissing: return "file ends inside the header";
        case WalkEnd::TrailingBytes: return "stray bytes after the last object";
    }
    return "";
}

nlohmann::json ToJson(const AsfInfo& i) {
    nlohmann::json j;
    j["path"] = i.path;
    j["fileSize"] = i.fileSize;
    j["problem"] = i.problem.empty() ? nlohmann::json(nullptr) : nlohmann::json(i.problem);
    j["header"] = {{"size", i.headerSize}, {"declaredObjects", i.declaredObjectCount}, {"walk", WalkEndText(i.headerWalkEnd)}};
    for (const auto& o : i.headerObjects)
        j["header"]["objects"].push_back({{"name", GuidName(o.guid)}, {"offset", o.offset}, {"size", o.size}});
    if (i.fileProperties) {
        const auto& p = *i.fileProperties;
        j["fileProperties"] = {{"fileSize", p.fileSize},         {"dataPackets", p.dataPacketsCount},
                               {"playDuration", p.playDuration}, {"sendDuration", p.sendDuration},
                               {"prerollMs", p.preroll},         {"flags", p.flags},
                               {"broadcast", (p.flags & 1) != 0}, {"seekable", (p.flags & 2) != 0},
                               {"minPacketSize", p.minPacketSize}, {"maxPacketSize", p.maxPacketSize},
                               {"maxBitrate", p.maxBitrate}};
    }
    for (const auto& s : i.streams)
        j["streams"].push_back({{"number", s.number}, {"kind", s.kind}, {"codec", s.codec}, {"detail", s.detail}, {"encrypted", s.encrypted}});
    if (i.dataHead) j["data"] = {{"offset", i.dataOffset}, {"size", i.dataHead->size}, {"totalPackets", i.dataHead->totalPackets}};
    j["packets"] = {{"read", i.packets},       {"signatureGood", i.signatureGood}, {"parsedWithoutSignature", i.parsedWithoutSignature},
                    {"damaged", i.damaged},    {"shortLast", i.shortLast},         {"indexOffset", i.indexOffset},
                    {"keyFrames", i.keyFrames}, {"firstSendTimeMs", i.firstSendTime}, {"lastSendTimeMs", i.lastSendTime}};
    for (const auto& [stream, n] : i.payloadsPerStream) j["packets"]["payloadsPerStream"][std::to_string(stream)] = n;
    j["damage"] = nlohmann::json::array();
    for (const auto& d : i.damage) j["damage"].push_back({{"index", d.index}, {"offset", d.offset}, {"reason", d.reason}});
    return j;
}

std::string KindLabel(const std::string& kind) {
    if (kind == "audio") return "音频";
    if (kind == "video") return "视频";
    return kind;
}

void PrintText(const AsfInfo& i, CliHost& out) {
    out.Say(i.path + "  (" + std::to_string(i.fileSize) + " 字节, " + FormatSize(i.fileSize) + ")");
    out.Say("文件头对象: " + std::to_string(i.headerSize) + " 字节, 声明 " + std::to_string(i.declaredObjectCount) + " 个对象, 找到 " +
            std::to_string(i.headerObjects.size()) + " 个, 遍历" + DescribeWalkEnd(i.headerWalkEnd));
    for (const auto& o : i.headerObjects)
        out.Say(Fmt("  @%6d  %8d  %s", static_cast<std::int64_t>(o.offset), static_cast<std::int64_t>(o.size), GuidName(o.guid)));
    if (i.fileProperties) {
        const auto& p = *i.fileProperties;
        std::string flags = std::string((p.flags & 2) ? "可搜索" : "不可搜索") + ((p.flags & 1) ? ", 直播" : "") +
                            ((p.flags & ~3u) ? ", 其他标记位已设置" : "");
        out.Say("文件属性: 文件大小 " + std::to_string(p.fileSize) + ", 数据块 " + std::to_string(p.dataPacketsCount) +
                ", 数据块大小 " + std::to_string(p.minPacketSize) +
                (p.minPacketSize != p.maxPacketSize ? " (最大 " + std::to_string(p.maxPacketSize) + ")" : ""));
        out.Say("  播放时长 " + FormatTenths(static_cast<std::int64_t>(p.playDuration / 1000000)) + ", 发送时长 " +
                FormatTenths(static_cast<std::int64_t>(p.sendDuration / 1000000)) + ", 预卷 " + std::to_string(p.preroll) +
                " ms, 标记 " + Fmt("0x%X", p.flags) + " (" + flags + "), 最大比特率 " + std::to_string(p.maxBitrate));
    }
    for (const auto& s : i.streams)
        out.Say("流 #" + std::to_string(s.number) + ": " + KindLabel(s.kind) + " " + s.codec + " " + s.detail +
                (s.encrypted ? " (已加密)" : ""));
    if (i.dataHead)
        out.Say("数据对象 @" + std::to_string(i.dataOffset) + ": 大小 " + std::to_string(i.dataHead->size) + ", 数据块 " +
                std::to_string(i.dataHead->totalPackets));
    out.Say("已读取的数据块: " + std::to_string(i.packets) + ", 带签名 82 00 00: " + std::to_string(i.signatureGood) +
            ", 无签名但可解析: " + std::to_string(i.parsedWithoutSignature) + ", 损坏: " + std::to_string(i.damaged) +
            (i.shortLast ? ", 最后一个被截短" : ""));
    std::string perStream;
    for (const auto& [stream, n] : i.payloadsPerStream) perStream += " #" + std::to_string(stream) + ":" + std::to_string(n);
    out.Say("每个流的负载:" + perStream + ", 关键帧 " + std::to_string(i.keyFrames) + ", 发送时间 " +
            std::to_string(i.firstSendTime) + ".." + std::to_string(i.lastSendTime) + " ms");
    out.Say(i.indexOffset >= 0 ? "索引对象 @" + std::to_string(i.indexOffset) : "数据块之后没有索引对象");
    for (const auto& d : i.damage)
        out.Say("  损坏的数据块 " + std::to_string(d.index) + " @" + std::to_string(d.offset) + ": " + d.reason);
    if (!i.problem.empty()) out.Say("问题: " + i.problem);
}

CommandRunner Setup(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    app.add_option("FILE", *path, "an ASF file")->required();
    auto common = AddCommonOptions(app);
    return [path, common]() -> int {
        CliHost host(*common);
        if (auto code = CheckSource(host, *path)) return *code;
        // The survey only reads: a stop ends the program at once.
        EndAtOnceOnStop(true);
        AsfInfo info = InspectAsf(*path, [&host] {
            host.ProcessMessages();
            return host.StopRequested();
        });
        if (info.stopped || host.StopRequested()) return ExitCodeFor(RunResult::Stopped);
        if (common->json) std::printf("%s\n", ToJson(info).dump(2).c_str());
        else PrintText(info, host);
        return ExitCodeFor(info.problem.empty() || info.dataHead ? RunResult::Done : RunResult::Refused);
    };
}

const bool registered = RegisterCommand({"info", "header, streams, packet statistics and damage map of a file", 900, Setup});

}  // namespace
}  // namespace mendery::cli
