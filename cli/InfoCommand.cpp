// mendery-cli info: what is inside an ASF file and where it is damaged.
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "engine/AsfInfo.h"
#include "engine/Format.h"

namespace mendery::cli {
namespace {

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

void PrintText(const AsfInfo& i, CliHost& out) {
    out.Say(i.path + "  (" + std::to_string(i.fileSize) + " bytes, " + FormatSize(i.fileSize) + ")");
    out.Say("Header object: " + std::to_string(i.headerSize) + " bytes, " + std::to_string(i.declaredObjectCount) +
            " objects declared, " + std::to_string(i.headerObjects.size()) + " found, walk " + WalkEndText(i.headerWalkEnd));
    for (const auto& o : i.headerObjects)
        out.Say(Fmt("  @%6d  %8d  %s", static_cast<std::int64_t>(o.offset), static_cast<std::int64_t>(o.size), GuidName(o.guid)));
    if (i.fileProperties) {
        const auto& p = *i.fileProperties;
        std::string flags = std::string((p.flags & 2) ? "seekable" : "not seekable") + ((p.flags & 1) ? ", broadcast" : "") +
                            ((p.flags & ~3u) ? ", other bits set" : "");
        out.Say("File properties: file size " + std::to_string(p.fileSize) + ", data packets " + std::to_string(p.dataPacketsCount) +
                ", packet size " + std::to_string(p.minPacketSize) +
                (p.minPacketSize != p.maxPacketSize ? " (max " + std::to_string(p.maxPacketSize) + ")" : ""));
        out.Say("  play " + FormatTenths(static_cast<std::int64_t>(p.playDuration / 1000000)) + ", send " +
                FormatTenths(static_cast<std::int64_t>(p.sendDuration / 1000000)) + ", preroll " + std::to_string(p.preroll) +
                " ms, flags " + Fmt("0x%X", p.flags) + " (" + flags + "), max bitrate " + std::to_string(p.maxBitrate));
    }
    for (const auto& s : i.streams)
        out.Say("Stream #" + std::to_string(s.number) + ": " + s.kind + " " + s.codec + " " + s.detail + (s.encrypted ? " (encrypted)" : ""));
    if (i.dataHead)
        out.Say("Data object @" + std::to_string(i.dataOffset) + ": size " + std::to_string(i.dataHead->size) + ", packets " +
                std::to_string(i.dataHead->totalPackets));
    out.Say("Packets read: " + std::to_string(i.packets) + ", with signature 82 00 00: " + std::to_string(i.signatureGood) +
            ", parse without it: " + std::to_string(i.parsedWithoutSignature) + ", damaged: " + std::to_string(i.damaged) +
            (i.shortLast ? ", last one cut short" : ""));
    std::string perStream;
    for (const auto& [stream, n] : i.payloadsPerStream) perStream += " #" + std::to_string(stream) + ":" + std::to_string(n);
    out.Say("Payloads per stream:" + perStream + ", key frames " + std::to_string(i.keyFrames) + ", send times " +
            std::to_string(i.firstSendTime) + ".." + std::to_string(i.lastSendTime) + " ms");
    out.Say(i.indexOffset >= 0 ? "Index object @" + std::to_string(i.indexOffset) : "No index object after the packets");
    for (const auto& d : i.damage)
        out.Say("  damaged packet " + std::to_string(d.index) + " @" + std::to_string(d.offset) + ": " + d.reason);
    if (!i.problem.empty()) out.Say("Problem: " + i.problem);
}

CommandRunner Setup(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    app.add_option("FILE", *path, "an ASF file")->required()->check(CLI::ExistingFile);
    auto common = AddCommonOptions(app);
    return [path, common] {
        CliHost host(*common);
        AsfInfo info = InspectAsf(*path);
        if (common->json) std::printf("%s\n", ToJson(info).dump(2).c_str());
        else PrintText(info, host);
        return info.problem.empty() || info.dataHead ? kExitDone : kExitRefused;
    };
}

const bool registered = RegisterCommand({"info", "header, streams, packet statistics and damage map of a file", 900, Setup});

}  // namespace
}  // namespace mendery::cli
