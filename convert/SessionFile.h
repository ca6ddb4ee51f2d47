#pragma once
// The encoder session file "Mendery.wme": the sources, the output and the encoding profile
// of one re-encode, in the encoder's XML format, 86 lines each ended by CR LF.
#include <cstdint>
#include <string>
#include <vector>

#include "convert/AudioFormat.h"

namespace mendery {

inline constexpr const char* kSessionFileName = "Mendery.wme";
inline constexpr const char* kProfileName = "Mendery Profile";

struct SessionSettings {
    std::string SourcePath, OutputPath, ProfileName = kProfileName;
    TAudioFormat Audio;
    std::int32_t VideoBitrate = 0;      // bits per second
    std::int32_t Quality = 100;         // 0..100
    std::int32_t AvgTimePerFrame = 0;   // 100-ns units
    std::int32_t VideoWidth = 0, VideoHeight = 0;
};

// 10,000,000 / frameRate rounded to the nearest integer (25 gives 400000, 30 gives 333333).
std::int32_t AvgTimePerFrameFor(std::int32_t frameRate);

// Text made safe for an XML attribute value: & < > " and the line breaks and tab (which an
// attribute would otherwise turn into spaces) become references.
std::string XmlEscape(const std::string& text);

// The 86 lines of the session file, without their line ends.
std::vector<std::string> SessionFileLines(const SessionSettings& s);

// Writes the lines, each ended by CR LF, replacing any existing file. Throws IoError.
void WriteSessionFile(const std::string& path, const SessionSettings& s);

// Holds an exclusive advisory lock on the session file from before it is written until the
// encoder has loaded it, so two re-encodes started at once never load each other's session.
class SessionFileLock {
public:
    explicit SessionFileLock(const std::string& path);
    ~SessionFileLock();
    SessionFileLock(const SessionFileLock&) = delete;
    SessionFileLock& operator=(const SessionFileLock&) = delete;

private:
    int fd_ = -1;
};

// The folder the session file goes to: the program's own folder when it is writable,
// otherwise the user's data folder ($XDG_DATA_HOME/mendery or ~/.local/share/mendery,
// created when missing), and the system's temporary folder as a last resort.
std::string SessionFolderFor(const std::string& programFolder);

}  // namespace mendery
