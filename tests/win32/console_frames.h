// Test helper: a console that takes every frame the program writes. The
// write end of an anonymous pipe stands in for the station's I/O handle and
// the test reads the frames back from the other end.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

using Frame = std::vector<std::uint8_t>;

// The 9-byte frames waiting in a pipe's read end, oldest first.
inline std::vector<Frame> frames_in(HANDLE pipe)
{
    std::vector<Frame> frames;
    DWORD available = 0, got = 0;
    std::uint8_t frame[9];
    while (pipe && PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) &&
           available >= 9 && ReadFile(pipe, frame, 9, &got, nullptr) && got == 9)
        frames.emplace_back(frame, frame + 9);
    return frames;
}

struct FrameSink {
    HANDLE in = nullptr, out = nullptr; // out goes where the station's handle would
    FrameSink() { CreatePipe(&in, &out, nullptr, 4096); }
    ~FrameSink()
    {
        for (HANDLE h : {in, out})
            if (h)
                CloseHandle(h);
    }
    std::vector<Frame> frames() const { return frames_in(in); }
};
