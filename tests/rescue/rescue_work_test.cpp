// The rescue's work folders: named after their process, and those whose process ended (a
// program killed in the middle of a run) removed by the next rescue, and nothing else.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "rescue/RescueWork.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

// The pid of a process that has ended (and was reaped).
long EndedPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

fs::path FolderWithFile(const fs::path& path) {
    fs::create_directories(path);
    std::ofstream(path / "rescue-1-repair.wmv") << "intermediate";
    return path;
}

}  // namespace

TEST(RescueWorkFolder, OwnFolderIsNamedAfterTheProcessAndRemovedWhole) {
    std::string path;
    {
        RescueWorkFolder work("");
        path = work.Path();
        EXPECT_EQ(fs::path(path).filename().string().rfind(WorkFolderPrefix(::getpid()), 0), 0u) << path;
        std::ofstream(work.NewFile(1, "repair", ".wmv")) << "x";
        std::ofstream(fs::path(path) / "tool-own-temp.part") << "x";
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(RescueWorkFolder, FoldersOfEndedProcessesAreRemovedOthersKept) {
    TempDir dir;
    const long ended = EndedPid();
    const fs::path stale = FolderWithFile(dir / (WorkFolderPrefix(ended) + "a1B2c3"));
    const fs::path running = FolderWithFile(dir / (WorkFolderPrefix(::getppid()) + "d4E5f6"));
    const fs::path own = FolderWithFile(dir / (WorkFolderPrefix(::getpid()) + "g7H8i9"));
    const fs::path unnamed = FolderWithFile(dir / "mendery-rescue-Xy12Zq");  // no pid: cannot tell
    const fs::path other = FolderWithFile(dir / ("other-" + std::to_string(ended) + "-abcdef"));
    // A link named like a stale folder: the link may go, what it points to stays.
    const fs::path target = FolderWithFile(dir / "linked");
    fs::create_directory_symlink(target, dir / (WorkFolderPrefix(ended) + "link00"));
    std::ofstream(dir / (WorkFolderPrefix(ended) + "file00")) << "a file, not a folder";

    EXPECT_EQ(RemoveStaleWorkFolders(dir.path().string()), 1);
    EXPECT_FALSE(fs::exists(stale));
    for (const auto& kept : {running, own, unnamed, other, target})
        EXPECT_TRUE(fs::exists(kept / "rescue-1-repair.wmv")) << kept;
    EXPECT_TRUE(fs::exists(dir / (WorkFolderPrefix(ended) + "file00")));
    EXPECT_EQ(RemoveStaleWorkFolders((dir / "missing").string()), 0);
}
