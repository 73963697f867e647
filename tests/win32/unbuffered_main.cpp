// Entry point of the Win32 test executables. Under Wine standard output is a
// pipe, so it would be block-buffered and a crash would swallow the names of
// the tests that ran; unbuffered, the last "[ RUN      ]" line names the test
// that was running.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
