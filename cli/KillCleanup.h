#pragma once
// The folder a second stop signal removes before the program ends at once: the rescue's work
// folder, whose intermediates may be gigabytes. A signal handler may not walk a folder (that
// is not async-signal-safe); it wakes a thread that does, through a pipe, and waits a moment
// for it with poll(). What the moment does not cover, the next rescue removes (its folder is
// named after this process, see rescue/RescueWork.h).
#include <string>

namespace mendery::cli {

// How long the handler waits for the folder to go before the program ends anyway.
constexpr int kKillCleanupWaitMs = 3000;

// The folder to remove; empty for none. Not called from a signal handler.
void SetFolderToRemoveOnKill(const std::string& path);

// From the signal handler only: removes the folder set above (if any) and returns when it is
// gone or the wait is over.
void RemoveFolderOnKill();

// Registers the folder for as long as it lives.
class FolderRemovedOnKill {
public:
    explicit FolderRemovedOnKill(const std::string& path) { SetFolderToRemoveOnKill(path); }
    ~FolderRemovedOnKill() { SetFolderToRemoveOnKill({}); }
    FolderRemovedOnKill(const FolderRemovedOnKill&) = delete;
    FolderRemovedOnKill& operator=(const FolderRemovedOnKill&) = delete;
};

}  // namespace mendery::cli
