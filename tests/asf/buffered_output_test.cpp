// The one buffered writer of new output files: what reaches the file, in which order, and what
// sizing, patching, spooling and closing see of what is still pending.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <numeric>

#include "asf/BufferedOutput.h"
#include "support/AsfBuilder.h"
#include "support/FileSizeLimit.h"

using namespace mendery;
using namespace mendery::test;

namespace {

Bytes Counting(std::size_t n, std::uint8_t from) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), from);
    return b;
}

// A new output, buffered in `capacity` bytes, in a folder of its own.
struct NewOutput {
    explicit NewOutput(std::size_t capacity) : out(capacity) { out.Create(path); }
    TempDir dir;
    std::string path = (dir / "out.bin").string();
    BufferedOutput out;
};

}  // namespace

// Pieces smaller than the buffer, exactly its size, larger than it and empty ones (an empty
// frame's chunk comes without a pointer) reach the file in the order written, and Tell always
// counts what is pending.
TEST(BufferedOutput, PiecesOfEverySizeLandInOrder) {
    TempDir dir;
    const std::string path = (dir / "out.bin").string();
    BufferedOutput out(16);
    out.Create(path);
    Bytes expected;
    for (const std::size_t n : {5, 0, 11, 16, 3, 40, 0, 15, 1, 16}) {
        const Bytes piece = Counting(n, static_cast<std::uint8_t>(expected.size()));
        out.Write(n == 0 ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(piece));
        expected.insert(expected.end(), piece.begin(), piece.end());
        EXPECT_EQ(out.Tell(), static_cast<std::int64_t>(expected.size()));
    }
    EXPECT_EQ(out.Size(), static_cast<std::int64_t>(expected.size()));
    out.Close();
    EXPECT_EQ(ReadFileBytes(path), expected);
}

// A size field patched once the length is known: the pending bytes are written first, the
// patch lands at its place at once, and the writer goes on from behind it.
TEST(BufferedOutput, PatchWritesPendingBytesFirstAndLandsInPlace) {
    TempDir dir;
    const std::string path = (dir / "out.bin").string();
    BufferedOutput out(64);
    out.Create(path);
    out.Write(Counting(10, 0));
    const Bytes field = {0xAA, 0xBB};
    out.Patch(2, field);
    EXPECT_EQ(out.Tell(), 4);
    Bytes onDisk = ReadFileBytes(path);
    ASSERT_EQ(onDisk.size(), 10u) << "the patch is written at once, after what was pending";
    EXPECT_EQ(onDisk[2], 0xAA);
    EXPECT_EQ(onDisk[3], 0xBB);
    EXPECT_EQ(onDisk[9], 9);
    out.Close();
}

// The AVI index is spooled to a file of its own and then appended whole to the main output,
// through the spool's own buffer (smaller than the index here).
TEST(BufferedOutput, AppendToCopiesTheWholeSpoolAfterWhatItHeld) {
    TempDir dir;
    BufferedOutput spool(16), main(64);
    spool.Create((dir / "spool.bin").string());
    main.Create((dir / "main.bin").string());
    const Bytes head = Counting(7, 200), entries = Counting(100, 0);
    main.Write(head);
    spool.Write(std::span(entries).first(60));
    spool.Write(std::span(entries).subspan(60));  // the last part still pending in the spool
    spool.AppendTo(main);
    EXPECT_EQ(main.Tell(), static_cast<std::int64_t>(head.size() + entries.size()));
    main.Close();
    spool.Close();
    Bytes expected = head;
    expected.insert(expected.end(), entries.begin(), entries.end());
    EXPECT_EQ(ReadFileBytes(dir / "main.bin"), expected);
    EXPECT_EQ(ReadFileBytes(dir / "spool.bin"), entries);
}

// A run that does not keep its output closes it without writing what is pending (the file is
// removed next); Close writes it out. A writer is reused from run to run.
TEST(BufferedOutput, CloseUnflushedDropsPendingBytesAndTheWriterCanBeReused) {
    TempDir dir;
    const std::string path = (dir / "out.bin").string();
    BufferedOutput out(64);
    out.Create(path);
    out.Write(Counting(10, 0));
    out.CloseUnflushed();
    EXPECT_FALSE(out.IsOpen());
    EXPECT_TRUE(ReadFileBytes(path).empty());

    out.Create(path);
    EXPECT_EQ(out.Tell(), 0);
    out.Write(Counting(3, 0));
    out.Close();
    EXPECT_EQ(ReadFileBytes(path), Counting(3, 0));
}

// A buffer of a page or more reaches the file in writes that end at page boundaries: after
// a header of odd length, after a seek to an odd position, and around a piece larger than the
// buffer, the file always ends on a page boundary while bytes are pending.
TEST(BufferedOutput, WritesEndAtPageBoundaries) {
    constexpr std::size_t kPage = BufferedOutput::kPageSize;
    NewOutput file(3 * kPage);
    auto& [dir, path, out] = file;
    Bytes expected;
    auto write = [&](std::size_t n) {
        const Bytes piece = Counting(n, static_cast<std::uint8_t>(expected.size() * 7));
        out.Write(piece);
        expected.insert(expected.end(), piece.begin(), piece.end());
        const std::int64_t onDisk = FileSizeOf(path);
        EXPECT_EQ(onDisk % static_cast<std::int64_t>(kPage), 0) << "after " << expected.size() << " bytes";
        EXPECT_EQ(out.Tell(), static_cast<std::int64_t>(expected.size()));
    };
    write(100);
    for (int i = 0; i < 9; ++i) write(3000);
    write(5 * kPage + 50);  // larger than the buffer
    for (int i = 0; i < 4; ++i) write(3000);
    out.Seek(1000);  // rewinds and writes over what the file holds
    const Bytes old = ReadFileBytes(path);
    ASSERT_EQ(old, expected);
    expected.resize(1000);
    for (int i = 0; i < 4; ++i) {
        const Bytes piece = Counting(3000, static_cast<std::uint8_t>(i));
        out.Write(piece);
        expected.insert(expected.end(), piece.begin(), piece.end());
    }
    // What the buffer took up to the page boundary at 3 pages is in the file already.
    const Bytes onDisk = ReadFileBytes(path);
    ASSERT_EQ(onDisk.size(), old.size());
    EXPECT_TRUE(std::equal(onDisk.begin(), onDisk.begin() + 3 * kPage, expected.begin()));
    EXPECT_TRUE(std::equal(onDisk.begin() + 3 * kPage, onDisk.end(), old.begin() + 3 * kPage));
    out.Close();
    expected.insert(expected.end(), old.begin() + static_cast<std::ptrdiff_t>(expected.size()), old.end());
    EXPECT_EQ(ReadFileBytes(path), expected);
}

// Large pieces written in place, between buffered ones and at odd offsets, land in order;
// once the call has returned, the caller's bytes are its own again.
TEST(BufferedOutput, PiecesWrittenInPlaceLandInOrder) {
    constexpr std::size_t kPage = BufferedOutput::kPageSize;
    NewOutput file(2 * kPage);
    auto& [dir, path, out] = file;
    Bytes expected;
    std::vector<Bytes> held;  // what was handed over in place, changed after each wait
    for (const std::size_t n : {7 * kPage + 5, std::size_t{300}, 3 * kPage, kPage - 1, 10 * kPage + 17, std::size_t{1}}) {
        Bytes piece = Counting(n, static_cast<std::uint8_t>(expected.size() * 3));
        expected.insert(expected.end(), piece.begin(), piece.end());
        if (n > kPage) {
            held.push_back(std::move(piece));
            out.WriteInPlace(held.back());
            EXPECT_EQ(out.Tell(), static_cast<std::int64_t>(expected.size()));
            std::fill(held.back().begin(), held.back().end(), 0xEE);
        } else {
            out.Write(piece);
        }
    }
    out.Close();
    EXPECT_EQ(ReadFileBytes(path), expected);
}

// Writes that fail (the file may not grow past 40 KB, as on a full disk) are reported to the
// writer, by that write or at the latest by Close: never lost.
TEST(BufferedOutput, AFailedWriteIsReported) {
    constexpr std::size_t kPage = BufferedOutput::kPageSize;
    TempDir dir;
    for (const bool inPlace : {false, true}) {
        const std::string path = (dir / (inPlace ? "in-place.bin" : "buffered.bin")).string();
        BufferedOutput out(4 * kPage);
        out.Create(path);
        std::string reason;
        {
            FileSizeLimit limit(40 * 1024);
            const Bytes piece = Counting(5 * kPage, 1);
            try {
                for (int i = 0; i < 8; ++i) {
                    if (inPlace) out.WriteInPlace(piece);
                    else out.Write(piece);
                }
                out.Close();
            } catch (const IoError& e) {
                reason = e.what();
            }
        }
        EXPECT_NE(reason.find("无法写入"), std::string::npos) << (inPlace ? "in place: " : "buffered: ") << reason;
        out.CloseUnflushed();
    }
}

namespace {

std::int64_t AllocatedBytes(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}

constexpr std::int64_t kReserved = 8 << 20;

}  // namespace

// Space set aside for an output the run then does not fill is given back however the file is
// closed (kept, dropped unflushed, or left to the destructor by a run that failed), and the
// file holds exactly what was written: the reservation never adds bytes or changes the size.
TEST(BufferedOutput, SpaceSetAsideAndNotWrittenIsGivenBack) {
    TempDir dir;
    const Bytes written = Counting(100 * 1024, 3);
    enum class End { Close, CloseUnflushed, Destroyed };
    for (const End end : {End::Close, End::CloseUnflushed, End::Destroyed}) {
        const std::string path = (dir / ("out" + std::to_string(int(end)) + ".bin")).string();
        {
            BufferedOutput out(64 * 1024);
            out.Create(path);
            out.Reserve(kReserved);
            if (AllocatedBytes(path) < kReserved) GTEST_SKIP() << "this file system sets no space aside";
            EXPECT_EQ(FileSizeOf(path), 0) << "setting space aside leaves the size as it was";
            out.Write(written);
            if (end != End::Close) out.Size();  // writes out what is pending
            if (end == End::Close) out.Close();
            if (end == End::CloseUnflushed) out.CloseUnflushed();
        }
        EXPECT_EQ(ReadFileBytes(path), written) << int(end);
        EXPECT_LT(AllocatedBytes(path), 1 << 20) << "ending " << int(end) << " kept the space set aside";
    }
}

// A reservation shorter than what is written, a truncation and a rewritten file in the same
// writer all leave the file as it would be without one.
TEST(BufferedOutput, WritesPastOrWithinTheReservedSpaceLandAsWithoutIt) {
    TempDir dir;
    const std::string path = (dir / "out.bin").string();
    BufferedOutput out(64 * 1024);
    out.Create(path);
    out.Reserve(10 * 1024);
    const Bytes first = Counting(300 * 1024, 9);
    out.Write(first);
    out.Truncate(200 * 1024);
    out.Close();
    EXPECT_EQ(ReadFileBytes(path), Bytes(first.begin(), first.begin() + 200 * 1024));

    out.Create(path);
    out.Reserve(kReserved);
    out.Write(Counting(5, 1));
    out.Close();
    EXPECT_EQ(ReadFileBytes(path), Counting(5, 1));
    EXPECT_LT(AllocatedBytes(path), 1 << 20);
}
