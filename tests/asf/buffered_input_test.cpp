// The windowed reader of source files: reads of every length, small and window-sized, mixed
// with seeks and single bytes, always give the file's bytes at the exact position.
#include <gtest/gtest.h>

#include "asf/BufferedInput.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

// Large reads go straight to the caller's buffer; around them the window keeps serving small
// reads, bytes and backward seeks from the right place, and the end of the file cuts a read
// short whichever way it is served.
TEST(BufferedInput, ReadsOfEveryLengthGiveTheBytesAtThePosition) {
    constexpr std::size_t kWindow = BufferedInput::kWindowSize;
    const Bytes file = PatternBytes(3 * kWindow + 1234);
    TempDir dir;
    const auto path = dir / "in.bin";
    WriteFileBytes(path, file);
    BufferedInput in;
    in.Open(path.string());

    auto expectRead = [&](std::int64_t at, std::size_t n) {
        SCOPED_TRACE("read of " + std::to_string(n) + " at " + std::to_string(at));
        in.Seek(at);
        Bytes got(n, 0xEE);
        const std::size_t expected = std::min<std::size_t>(n, file.size() - static_cast<std::size_t>(at));
        ASSERT_EQ(in.Read(got), expected);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + expected, file.begin() + at));
        EXPECT_EQ(in.Tell(), at + static_cast<std::int64_t>(expected));
    };
    expectRead(0, 10);                  // fills the window
    expectRead(10, 2 * kWindow + 5);    // starts inside the window, goes on past it
    expectRead(100, kWindow);           // exactly a window, from inside the window
    expectRead(kWindow + 3, 3 * kWindow);  // past the end: cut short
    expectRead(5, 20);                  // back to the start after a direct read
    EXPECT_EQ(in.ReadByte(), file[25]);
    expectRead(static_cast<std::int64_t>(file.size()) - 7, kWindow);
    EXPECT_EQ(in.ReadByte(), -1);

    // Sequential window-sized reads cover the file with nothing skipped or repeated.
    in.Seek(0);
    Bytes all;
    for (Bytes block(kWindow);;) {
        const std::size_t n = in.Read(block);
        if (n == 0) break;
        all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    }
    EXPECT_EQ(all, file);
    in.Close();
}
