// The simulated console's pipe under Wine, opened the way the program opens
// the station: a live record read report by report with replies, a
// scenario replay with its faults, unplug and plug with their device
// notices, and broken scenario files refused before anything runs.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include "message_window.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "station/commands.h"
#include "station/report_handler.h"
#include "simulator/sim_pipe_win32.h"

namespace {

struct Notice {
    WPARAM event;
    std::wstring name;
};

std::vector<Notice> notices;

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_DEVICECHANGE) {
        const auto *n = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(lparam);
        if (n && n->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
            notices.push_back({wparam, n->dbcc_name});
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

HWND make_window()
{
    return make_message_window(L"SimPipeTestWindow", window_proc);
}


// The program's side: the station handle opened on the pipe path.
struct Client {
    HANDLE h = INVALID_HANDLE_VALUE;
    OVERLAPPED read_ov = {};
    std::uint8_t report[REPORT_BYTES] = {};
    bool reading = false;

    explicit Client(const wchar_t *path)
    {
        h = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        read_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Client()
    {
        if (h != INVALID_HANDLE_VALUE) {
            CancelIo(h);
            CloseHandle(h);
        }
        CloseHandle(read_ov.hEvent);
    }
    bool write(const std::uint8_t *frame)
    {
        OVERLAPPED ov = {};
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD n = 0;
        BOOL ok = WriteFile(h, frame, FRAME_BYTES, nullptr, &ov);
        if (!ok && GetLastError() == ERROR_IO_PENDING)
            ok = GetOverlappedResult(h, &ov, &n, TRUE);
        CloseHandle(ov.hEvent);
        return ok;
    }
    void start_read()
    {
        std::memset(report, 0, sizeof report);
        ResetEvent(read_ov.hEvent);
        const BOOL ok = ReadFile(h, report, REPORT_BYTES, nullptr, &read_ov);
        reading = ok || GetLastError() == ERROR_IO_PENDING;
    }
    // 1 report read, 0 the read failed, -1 nothing within ms.
    int finish_read(DWORD ms = 5000)
    {
        if (!reading)
            return 0;
        if (!pump_until([&] { return HasOverlappedIoCompleted(&read_ov); }, ms))
            return -1;
        reading = false;
        DWORD n = 0;
        return GetOverlappedResult(h, &read_ov, &n, FALSE) && n == REPORT_BYTES ? 1 : 0;
    }
    int read(DWORD ms = 5000)
    {
        start_read();
        return finish_read(ms);
    }
};

// Reads reports, acknowledging each, until a whole live record arrived.
std::string read_live_record(Client &c)
{
    std::string record;
    for (int i = 0; i < 100; ++i) {
        if (c.read() != 1)
            return "(read failed)";
        const std::uint8_t *r = c.report;
        c.write(r[1] == KIND_RECORD ? CMD_PAGE_ACK : CMD_ACK);
        if (r[1] != KIND_RECORD || (r[2] | r[3]) != 0)
            continue;
        if ((r[6] & 0x0F) == 1)
            record.clear();
        record.append(reinterpret_cast<const char *>(r + 8), r[7]);
        if ((r[6] & 0x0F) == (r[6] >> 4) && (r[6] >> 4) >= 2)
            return record;
    }
    return "(no record)";
}

std::wstring write_temp_file(const char *text)
{
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"scn", 0, path);
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, text, static_cast<DWORD>(std::strlen(text)), &n, nullptr);
    CloseHandle(f);
    return path;
}

struct Started {
    wchar_t path[128] = {};
    wchar_t error[256] = {};
    int ok;
    Started(const wchar_t *scenario, HWND window)
    {
        ok = sim_console_start(scenario, window, path, 128, error, 256);
    }
    ~Started() { sim_console_stop(); }
};

} // namespace

TEST(SimPipe, BuiltInConsoleAnswersALiveRequestLikeTheStation)
{
    Started sim(nullptr, nullptr);
    ASSERT_EQ(sim.ok, 1) << sim.error;
    EXPECT_EQ(std::wcsncmp(sim.path, L"\\\\.\\pipe\\", 9), 0);
    Client c(sim.path);
    ASSERT_NE(c.h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(c.write(CMD_STOP_TRANSFER));
    ASSERT_TRUE(c.write(CMD_READ_LIVE));
    const std::string record = read_live_record(c);
    int spaces = 0;
    for (char ch : record)
        spaces += ch == ' ';
    EXPECT_EQ(spaces, 35) << record;
    SYSTEMTIME st;
    GetLocalTime(&st);
    char today[16];
    std::snprintf(today, sizeof today, " %04d-%02d-%02d ", st.wYear, st.wMonth, st.wDay);
    EXPECT_NE(record.find(today), std::string::npos) << record;
}

TEST(SimPipe, ScenarioReplayRejectResendAndHistory)
{
    const std::wstring file = write_temp_file(
        "# two records and a live one\n"
        "live 40 2026-12-08 14:30 21.5\r\n"
        "history 40 2026-12-01 10:00 a\n"
        "history 40 2026-12-01 10:30 b\n");
    Started sim(file.c_str(), nullptr);
    ASSERT_EQ(sim.ok, 1) << sim.error;
    Client c(sim.path);
    ASSERT_TRUE(c.write(CMD_READ_LIVE));
    ASSERT_EQ(c.read(), 1);
    std::uint8_t first[REPORT_BYTES];
    std::memcpy(first, c.report, REPORT_BYTES);
    ASSERT_TRUE(c.write(CMD_PAGE_NAK));
    ASSERT_EQ(c.read(), 1);
    EXPECT_EQ(std::memcmp(first, c.report, REPORT_BYTES), 0) << "a reject brings the same report";
    ASSERT_TRUE(c.write(CMD_PAGE_ACK));
    ASSERT_EQ(c.read(), 1);
    std::string live(reinterpret_cast<const char *>(first + 8), first[7]);
    live.append(reinterpret_cast<const char *>(c.report + 8), c.report[7]);
    EXPECT_EQ(live, "40 2026-12-08 14:30 21.5");
    ASSERT_TRUE(c.write(CMD_PAGE_ACK));

    ASSERT_TRUE(c.write(CMD_READ_HISTORY));
    std::vector<std::string> pages;
    std::string page;
    while (pages.size() < 2 && c.read() == 1) {
        EXPECT_EQ(c.report[2] << 8 | c.report[3], 2);
        if ((c.report[6] & 0x0F) == 1)
            page.clear();
        page.append(reinterpret_cast<const char *>(c.report + 8), c.report[7]);
        if ((c.report[6] & 0x0F) == (c.report[6] >> 4))
            pages.push_back(page);
        c.write(CMD_PAGE_ACK);
    }
    EXPECT_EQ(pages, (std::vector<std::string>{"40 2026-12-01 10:00 a", "40 2026-12-01 10:30 b"}));
    DeleteFileW(file.c_str());
}

// The faults of a scenario reach the wire: a dropped packet, a repeated one
// and a stall, for the next download only.
TEST(SimPipe, FaultsShapeTheNextHistoryDownload)
{
    const std::wstring file = write_temp_file(
        "live 40 2026-12-08 14:30 21.5\n"
        "history 40 2026-12-01 10:00 a\nhistory 40 2026-12-01 10:30 b\nhistory 40 2026-12-01 11:00 c\n"
        "fault drop 1 2\nfault repeat 2 1\nfault stall 2\n");
    Started sim(file.c_str(), nullptr);
    ASSERT_EQ(sim.ok, 1) << sim.error;
    Client c(sim.path);
    // Pages and packets as key/index, each report acknowledged, until the
    // console keeps quiet for a second.
    auto download = [&c] {
        std::vector<std::string> seen;
        c.write(CMD_READ_HISTORY);
        if (!c.reading) // the read left waiting by the last download goes on
            c.start_read();
        while (c.finish_read(1000) == 1) {
            seen.push_back(std::to_string(c.report[5]) + "/" + std::to_string(c.report[6] & 0x0F));
            c.write(CMD_PAGE_ACK);
            c.start_read();
        }
        return seen;
    };
    EXPECT_EQ(download(), (std::vector<std::string>{"1/1", "2/1", "2/1", "2/2"}));
    EXPECT_EQ(download(), (std::vector<std::string>{"1/1", "1/2", "2/1", "2/2", "3/1", "3/2"}));
    DeleteFileW(file.c_str());
}

TEST(SimPipe, UnplugEndsThePendingReadAndTellsTheWindowPlugBringsItBack)
{
    const std::wstring file = write_temp_file("live 1 2 3\nwait 400\nunplug\nwait 400\nplug\n");
    notices.clear();
    const HWND window = make_window();
    Started sim(file.c_str(), window);
    ASSERT_EQ(sim.ok, 1) << sim.error;
    {
        Client c(sim.path);
        ASSERT_NE(c.h, INVALID_HANDLE_VALUE);
        c.start_read();
        ASSERT_TRUE(c.reading);
        EXPECT_EQ(c.finish_read(5000), 0) << "the pending read fails when the console goes";
        ASSERT_TRUE(pump_until([] { return !notices.empty(); }));
        EXPECT_EQ(notices[0].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
        EXPECT_NE(notices[0].name.find(L"\\\\?\\HID#VID_1941&PID_8021&MI_00#"), std::wstring::npos);
        // While unplugged the path does not open, like an absent device.
        Client absent(sim.path);
        EXPECT_EQ(absent.h, INVALID_HANDLE_VALUE);
    }
    ASSERT_TRUE(pump_until([] { return notices.size() >= 2; }));
    EXPECT_EQ(notices[1].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    Client again(sim.path);
    ASSERT_NE(again.h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(again.write(CMD_READ_LIVE));
    EXPECT_EQ(read_live_record(again), "1 2 3");
    DestroyWindow(window);
    DeleteFileW(file.c_str());
}

TEST(SimPipe, ReopeningThePathReplacesTheOldConnection)
{
    Started sim(nullptr, nullptr);
    ASSERT_EQ(sim.ok, 1) << sim.error;
    Client *old = new Client(sim.path);
    ASSERT_NE(old->h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(old->write(CMD_READ_LIVE));
    EXPECT_NE(read_live_record(*old).find(' '), std::string::npos);
    // Discovery closes the old handle and opens the path again at once.
    delete old;
    Client fresh(sim.path);
    ASSERT_NE(fresh.h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(fresh.write(CMD_READ_LIVE));
    EXPECT_NE(read_live_record(fresh).find(' '), std::string::npos);
}

TEST(SimPipe, OversizedAndDamagedCommandsAreSkipped)
{
    Started sim(nullptr, nullptr);
    ASSERT_EQ(sim.ok, 1) << sim.error;
    Client c(sim.path);
    ASSERT_NE(c.h, INVALID_HANDLE_VALUE);
    // A message far longer than any command, then a frame with a bad CRC:
    // neither may be taken for a command, and the link must go on.
    // Its tail is a whole history request that a reader of the command
    // buffer size (4096) would otherwise get as a message of its own.
    std::vector<std::uint8_t> big(4096 + FRAME_BYTES, 0x5A);
    std::memcpy(big.data() + big.size() - FRAME_BYTES, CMD_READ_HISTORY, FRAME_BYTES);
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD n = 0;
    BOOL ok = WriteFile(c.h, big.data(), static_cast<DWORD>(big.size()), nullptr, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(c.h, &ov, &n, TRUE);
    CloseHandle(ov.hEvent);
    ASSERT_TRUE(ok);
    std::uint8_t damaged[FRAME_BYTES];
    std::memcpy(damaged, CMD_READ_HISTORY, FRAME_BYTES);
    damaged[7] ^= 1;
    ASSERT_TRUE(c.write(damaged));
    ASSERT_TRUE(c.write(CMD_READ_LIVE));
    ASSERT_EQ(c.read(), 1);
    EXPECT_EQ(c.report[1], KIND_RECORD);
    EXPECT_EQ(c.report[2] << 8 | c.report[3], 0) << "a live record, not history";
}

TEST(SimPipe, BrokenScenariosAreRefusedWithTheirLine)
{
    const std::wstring bad = write_temp_file("live a\nwait soon\n");
    Started broken(bad.c_str(), nullptr);
    EXPECT_EQ(broken.ok, 0);
    EXPECT_NE(std::wstring(broken.error).find(L"line 2: wait needs"), std::wstring::npos) << broken.error;
    EXPECT_EQ(broken.path[0], 0);
    DeleteFileW(bad.c_str());

    Started missing(L"C:\\no\\such\\scenario.txt", nullptr);
    EXPECT_EQ(missing.ok, 0);
    EXPECT_NE(std::wstring(missing.error).find(L"scenario.txt"), std::wstring::npos) << missing.error;

    // A refused start leaves nothing behind: a good one works afterwards.
    Started good(nullptr, nullptr);
    EXPECT_EQ(good.ok, 1) << good.error;
}
