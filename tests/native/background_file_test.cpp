#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "cli/export_file.h"

namespace {

// A file written through the background writer in rows, as an export
// writes it: every byte in order when the disk takes them; on a full disk
// the bytes after the failed block are refused and finish() names the
// reason, whether the failure came while rows were still being made or
// only with the last block.
TEST(BackgroundFile, WritesEveryByteOrRefusesAfterAFailureWithItsReason)
{
    struct Case {
        const char *name;
        std::size_t bytes;
        bool full_disk;
    } cases[] = {
        {"several blocks", 3500000, false},
        {"less than a block", 1000, false},
        {"full disk, found while rows are made", 3500000, true},
        {"full disk, found with the last block", 1000, true},
    };
    for (const Case &c : cases) {
        std::FILE *file = c.full_disk ? std::fopen("/dev/full", "wb") : std::tmpfile();
        if (!file)
            GTEST_SKIP() << "no /dev/full here";
        std::vector<std::uint8_t> sent;
        int taken = 1;
        {
            BackgroundFile background(file);
            const ByteSink sink = background.sink();
            std::uint8_t row[419];
            while (taken && sent.size() < c.bytes) {
                for (std::size_t i = 0; i < sizeof row; ++i)
                    row[i] = static_cast<std::uint8_t>(sent.size() + i);
                taken = sink.write(sink.context, row, sizeof row);
                if (taken)
                    sent.insert(sent.end(), row, row + sizeof row);
            }
            errno = 0;
            EXPECT_EQ(background.finish(), c.full_disk ? 0 : 1) << c.name;
            if (c.full_disk) {
                EXPECT_EQ(errno, ENOSPC) << c.name;
            }
        }
        if (c.full_disk) {
            EXPECT_EQ(taken == 0, c.bytes > 2000000) << c.name;
        } else {
            std::vector<std::uint8_t> read(sent.size() + 1);
            std::rewind(file);
            EXPECT_EQ(std::fread(read.data(), 1, read.size(), file), sent.size()) << c.name;
            read.pop_back();
            EXPECT_EQ(read, sent) << c.name;
        }
        std::fclose(file);
    }
}

} // namespace
