#pragma once
// What the rescue's steps run in: a folder for intermediates that is removed whatever happens,
// and a host for one step that records the step's log, passes progress and pending events on
// to the run's host, and answers the tools' questions with No (a rescue never changes more
// than its plan says).
#include <functional>
#include <string>
#include <vector>

#include "asf/Host.h"

namespace mendery {

// Work folders made under the system's temporary folder are named "mendery-rescue-<pid>-XXXXXX"
// after the process that made them. A program ended at once (a second Ctrl-C, a kill, a
// crash) cannot remove its own folder, whose intermediates may be gigabytes; the next rescue
// removes every such folder of this user whose process no longer runs.
std::string WorkFolderPrefix(long pid);
// Removes the work folders in `base` left by processes that no longer run (only real
// folders owned by this user; a folder whose process runs, or whose pid is not ours to
// check, is kept). Returns how many it removed; errors leave a folder in place.
int RemoveStaleWorkFolders(const std::string& base);

class RescueWorkFolder {
public:
    // `given` empty: a new folder under the system's temporary folder, removed whole at the
    // end (stale folders of ended processes go first). Otherwise that folder (created when
    // missing); only the files made in it are removed. Throws IoError when it cannot be made.
    explicit RescueWorkFolder(const std::string& given);
    ~RescueWorkFolder();
    RescueWorkFolder(const RescueWorkFolder&) = delete;
    RescueWorkFolder& operator=(const RescueWorkFolder&) = delete;

    const std::string& Path() const { return path_; }
    // A new intermediate's path, named by its step; remembered for removal.
    std::string NewFile(std::size_t step, const std::string& tag, const std::string& extension);
    // Removes every intermediate (and the folder when it made it).
    void Clear();

private:
    std::string path_;
    bool owned_ = false;
    std::vector<std::string> files_;
};

class StepHost : public IHost {
public:
    StepHost(IHost& outer, std::vector<std::string>& log) : outer_(outer), log_(log) {}

    void Log(std::string_view line) override { log_.emplace_back(line); }
    void ClearLog() override {}
    void SetProgressRange(std::int64_t maximum) override { outer_.SetProgressRange(maximum); }
    void SetProgress(std::int64_t position) override { outer_.SetProgress(position); }
    void SetStatus(std::string_view text) override { outer_.SetStatus(text); }
    // Lets the run's host handle its events (a stop arrives there), then tells the step's tool.
    void ProcessMessages() override;
    void Message(std::string_view text, MessageKind kind) override;
    Answer Ask(std::string_view text, Buttons buttons, MessageKind kind) override;

    // The step's log so far.
    const std::vector<std::string>& Lines() const { return log_; }
    // Called after every ProcessMessages: the step passes a stop on to its tool.
    std::function<void()> AfterEvents;

private:
    IHost& outer_;
    std::vector<std::string>& log_;
};

}  // namespace mendery
