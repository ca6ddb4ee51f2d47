#include "convert/SessionFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "asf/BinaryFile.h"

namespace mendery {

std::int32_t AvgTimePerFrameFor(std::int32_t frameRate) {
    if (frameRate <= 0) return 0;
    return static_cast<std::int32_t>((10'000'000LL + frameRate / 2) / frameRate);
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            default: out += c;
        }
    }
    return out;
}

namespace {
std::string FileNamePart(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string Q(const std::string& prefix, const std::string& value, const std::string& suffix) {
    return prefix + value + suffix;
}
std::string Q(const std::string& prefix, std::int64_t value, const std::string& suffix) {
    return prefix + std::to_string(value) + suffix;
}
}  // namespace

std::vector<std::string> SessionFileLines(const SessionSettings& s) {
    // Paths are escaped: an unescaped "&" or quote would make the whole file unreadable XML.
    // The profile name goes into the CDATA section as it is.
    const std::string source = XmlEscape(s.SourcePath);
    const std::string output = XmlEscape(s.OutputPath);
    const std::string profileAttr = XmlEscape(s.ProfileName);
    const auto& a = s.Audio;
    return {
        "<?xml version=\"1.0\"?>",
        "<WMEncoder major_version=\"7\"",
        "    minor_version=\"0\"",
        "    Name=\"WMEncoder27653\" >",
        "    <Description />",
        "    <SourceGroups >",
        Q("        <SourceGroup Name=\"", XmlEscape(FileNamePart(s.SourcePath)), "\" >"),
        "            <Source Type=\"WMENC_AUDIO\"",
        "                Scheme=\"file\"",
        Q("                InputSource=\"", source, "\" >"),
        "                <UserData >",
        "                </UserData>",
        "            </Source>",
        "            <Source Type=\"WMENC_VIDEO\"",
        "                Scheme=\"file\"",
        Q("                InputSource=\"", source, "\" >"),
        "                <UserData >",
        "                </UserData>",
        "            </Source>",
        Q("            <EncoderProfile id=\"", profileAttr, "\" />"),
        "        </SourceGroup>",
        "    </SourceGroups>",
        Q("    <File LocalFileName=\"", output, "\" />"),
        Q("    <WMEncoder_Profile id=\"", profileAttr, "\" >"),
        "    <![CDATA[    <profile version=\"458752\"",
        Q("             name=\"", profileAttr, "\""),
        "             description=\"\">",
        "     <streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\"",
        "                   streamnumber=\"1\"",
        "                   streamname=\"Audio Stream\"",
        "                   inputname=\"Audio\"",
        Q("                   bitrate=\"", a.Bitrate, "\""),
        "                   bufferwindow=\"-1\">",
        "       <wmmediatype subtype=\"{00000161-0000-0010-8000-00AA00389B71}\"",
        "                   bfixedsizesamples=\"1\"",
        "                   btemporalcompression=\"0\"",
        Q("                   lsamplesize=\"", a.BlockAlign, "\">"),
        "           <waveformatex wFormatTag=\"353\"",
        Q("                         nChannels=\"", a.Channels, "\""),
        Q("                         nSamplesPerSec=\"", a.SamplesPerSec, "\""),
        Q("                         nAvgBytesPerSec=\"", a.Bitrate / 8, "\""),
        Q("                         nBlockAlign=\"", a.BlockAlign, "\""),
        "                         wBitsPerSample=\"16\"",
        Q("                         codecdata=\"", a.CodecData, "\"/>"),
        "      </wmmediatype>",
        "     </streamconfig>",
        "     <streamconfig majortype=\"{73646976-0000-0010-8000-00AA00389B71}\"",
        "                   streamnumber=\"2\"",
        "                   streamname=\"Video Stream\"",
        "                   inputname=\"Video\"",
        Q("                   bitrate=\"", s.VideoBitrate, "\""),
        "                   bufferwindow=\"5000\">",
        "       <videomediaprops maxkeyframespacing=\"100000000\"",
        Q("                       quality=\"", s.Quality, "\"/>"),
        "       <wmmediatype subtype=\"{3334504D-0000-0010-8000-00AA00389B71}\"",
        "                   bfixedsizesamples=\"0\"",
        "                   btemporalcompression=\"1\"",
        "                   lsamplesize=\"0\">",
        Q("       <videoinfoheader dwbitrate=\"", s.VideoBitrate, "\""),
        "                        dwbiterrorrate=\"0\"",
        Q("                        avgtimeperframe=\"", s.AvgTimePerFrame, "\">"),
        "        <rcsource left=\"0\"",
        "                  top=\"0\"",
        Q("                  right=\"", s.VideoWidth, "\""),
        Q("                  bottom=\"", s.VideoHeight, "\"/>"),
        "        <rctarget left=\"0\"",
        "                  top=\"0\"",
        Q("                  right=\"", s.VideoWidth, "\""),
        Q("                  bottom=\"", s.VideoHeight, "\"/>"),
        Q("            <bitmapinfoheader biwidth=\"", s.VideoWidth, "\""),
        Q("                              biheight=\"", s.VideoHeight, "\""),
        "                              biplanes=\"1\"",
        "                              bibitcount=\"24\"",
        "                              bicompression=\"MP43\"",
        "                              bisizeimage=\"0\"",
        "                              bixpelspermeter=\"0\"",
        "                              biypelspermeter=\"0\"",
        "                              biclrused=\"0\"",
        "                              biclrimportant=\"0\"/>",
        "       </videoinfoheader>",
        "      </wmmediatype>",
        "     </streamconfig>",
        "    </profile>",
        "    ]]>",
        "    </WMEncoder_Profile>",
        "</WMEncoder>",
    };
}

void WriteSessionFile(const std::string& path, const SessionSettings& s) {
    std::string text;
    for (const auto& line : SessionFileLines(s)) text += line + "\r\n";
    BinaryFile f(path, BinaryFile::Mode::Create);
    f.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    f.Close();
}

SessionFileLock::SessionFileLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // Without a lock (a file system that has none) the session is written all the same.
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
}

SessionFileLock::~SessionFileLock() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {
bool WritableFolder(const std::string& folder) {
    return !folder.empty() && ::access(folder.c_str(), W_OK) == 0;
}
}  // namespace

std::string SessionFolderFor(const std::string& programFolder) {
    if (WritableFolder(programFolder)) return programFolder;
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) data = std::string(xdg) + "/mendery";
    else if (const char* home = std::getenv("HOME"); home && *home) data = std::string(home) + "/.local/share/mendery";
    if (!data.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(data, ec);
        if (WritableFolder(data)) return data;
    }
    return std::filesystem::temp_directory_path().string();
}

}  // namespace mendery
