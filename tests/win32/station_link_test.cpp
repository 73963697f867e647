// The station link under Wine: the device-change rules with synthetic
// notices, the send operation, and the reader thread end to end against a
// message-mode named pipe played by the test as the console.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include "message_window.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "station/commands.h"
#include "station/commands_win32.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "station/reader_win32.h"
#include "station/station_device_win32.h"
#include "tests/native/report_builder.h"

namespace {

struct Received {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    std::string text; // the record or body handed over by address
};

std::vector<Received> received;
// A device notice arriving with a record: the arrival starts the reader.
bool start_reader_on_live_record = false;

LRESULT CALLBACK test_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg >= UM_DEVICE_STATE && msg <= UM_WC_REQUEST) {
        Received r{msg, wparam, lparam, ""};
        if (msg == UM_LIVE_RECORD || msg == UM_WU_BODY || msg == UM_WC_BODY)
            r.text = reinterpret_cast<const char *>(lparam);
        received.push_back(r);
        if (msg == UM_LIVE_RECORD && start_reader_on_live_record)
            start_reader(hwnd, hwnd);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

HWND make_test_window()
{
    return make_message_window(L"StationLinkTestWindow", test_window_proc);
}


int count_of(UINT message)
{
    int n = 0;
    for (const Received &r : received)
        n += r.message == message;
    return n;
}

// The console's end of a message-mode pipe, driven with overlapped I/O so
// that the test thread keeps answering the reader's messages meanwhile.
struct PipeServer {
    wchar_t name[80];
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    PipeServer()
    {
        static int serial = 0;
        wsprintfW(name, L"\\\\.\\pipe\\nimbrel-station-test-%lu-%d", GetCurrentProcessId(), ++serial);
        pipe = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096,
                                0, nullptr);
    }
    ~PipeServer()
    {
        close();
        CloseHandle(event);
    }
    void close()
    {
        if (pipe != INVALID_HANDLE_VALUE)
            CloseHandle(pipe);
        pipe = INVALID_HANDLE_VALUE;
    }

    // Completes one overlapped operation started with `started`, or cancels it.
    bool finish(BOOL started, OVERLAPPED &ov, DWORD ms, DWORD *bytes)
    {
        if (!started && GetLastError() != ERROR_IO_PENDING)
            return false;
        pump_until([&] { return HasOverlappedIoCompleted(&ov); }, ms);
        if (!HasOverlappedIoCompleted(&ov)) {
            CancelIoEx(pipe, &ov);
            GetOverlappedResult(pipe, &ov, bytes, TRUE);
            return false;
        }
        return GetOverlappedResult(pipe, &ov, bytes, FALSE) != 0;
    }

    bool send(const RawReport &r)
    {
        OVERLAPPED ov = {};
        ov.hEvent = event;
        DWORD n = 0;
        return finish(WriteFile(pipe, r.bytes, REPORT_BYTES, nullptr, &ov), ov, 5000, &n) && n == REPORT_BYTES;
    }

    // The next 9-byte command the program wrote, or an empty string.
    std::string command(DWORD ms = 5000)
    {
        std::uint8_t buf[64];
        OVERLAPPED ov = {};
        ov.hEvent = event;
        DWORD n = 0;
        if (!finish(ReadFile(pipe, buf, sizeof buf, nullptr, &ov), ov, ms, &n))
            return "";
        return std::string(reinterpret_cast<const char *>(buf), n);
    }
};

std::string frame_text(const std::uint8_t *frame)
{
    return std::string(reinterpret_cast<const char *>(frame), FRAME_BYTES);
}

// A synthetic interface notice as the system sends it: dbcc_size covers the name.
struct Notice {
    union {
        DEV_BROADCAST_DEVICEINTERFACE_W header;
        unsigned char bytes[sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + 512];
    };
    explicit Notice(const wchar_t *name, DWORD type = DBT_DEVTYP_DEVICEINTERFACE)
    {
        std::memset(bytes, 0, sizeof bytes);
        header.dbcc_devicetype = type;
        std::wcscpy(header.dbcc_name, name);
        header.dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                              (std::wcslen(name) + 1) * sizeof(wchar_t));
    }
    LPARAM lparam() { return reinterpret_cast<LPARAM>(&header); }
};

const wchar_t STATION_NAME[] = L"\\\\?\\HID#VID_1941&PID_8021&MI_00#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const wchar_t OTHER_NAME[] = L"\\\\?\\HID#VID_046D&PID_C52B&MI_00#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class StationLink : public ::testing::Test {
protected:
    StationDevice device;
    HWND window = nullptr;

    void SetUp() override
    {
        station_device_init(&device);
        station_device = &device;
        station_device_use_path(nullptr);
        link_flags.connected = 0;
        link_flags.history_active = 0;
        link_flags.history_cancel = 0;
        link_counters = LinkCounters{};
        window = make_test_window();
        received.clear();
    }
    void TearDown() override
    {
        stop_reader();
        station_device_close(&device);
        DestroyWindow(window);
        station_device_use_path(nullptr);
    }

    // Opens the pipe as the station, connected, with a reader running.
    void connect_to(PipeServer &server)
    {
        ASSERT_NE(server.pipe, INVALID_HANDLE_VALUE);
        station_device_use_path(server.name);
        ASSERT_EQ(station_device_discover(&device), 1);
        link_flags.connected = 1;
        ASSERT_EQ(start_reader(window, window), 1);
    }

    // A live record in two packets, each acknowledged; returns the text delivered.
    std::string live_record(PipeServer &server, const char *a, const char *b)
    {
        const int before = count_of(UM_LIVE_RECORD);
        EXPECT_TRUE(server.send(make_report(KIND_RECORD, 0, 0, 1, 2, a)));
        EXPECT_EQ(server.command(), frame_text(CMD_PAGE_ACK));
        EXPECT_TRUE(server.send(make_report(KIND_RECORD, 0, 0, 2, 2, b)));
        EXPECT_EQ(server.command(), frame_text(CMD_PAGE_ACK));
        if (!pump_until([&] { return count_of(UM_LIVE_RECORD) > before; }))
            return "";
        return received.back().text;
    }
};

TEST_F(StationLink, DeviceChangeRules)
{
    struct Case {
        const char *name;
        WPARAM event;
        bool has_notice;
        DWORD type;
        const wchar_t *interface_name;
        LRESULT result;
        std::vector<WPARAM> states;
    } cases[] = {
        {"device nodes changed", DBT_DEVNODES_CHANGED, false, 0, nullptr, 0, {}},
        {"arrival without data", DBT_DEVICEARRIVAL, false, 0, nullptr, 0, {}},
        {"removal without data", DBT_DEVICEREMOVECOMPLETE, false, 0, nullptr, 0, {}},
        {"volume arrival", DBT_DEVICEARRIVAL, true, DBT_DEVTYP_VOLUME, STATION_NAME, TRUE, {}},
        {"removal of the station, upper case", DBT_DEVICEREMOVECOMPLETE, true, DBT_DEVTYP_DEVICEINTERFACE, STATION_NAME, TRUE, {DEVICE_ABSENT}},
        {"removal of the station, lower case", DBT_DEVICEREMOVECOMPLETE, true, DBT_DEVTYP_DEVICEINTERFACE, L"\\\\?\\hid#vid_1941&pid_8021#x", TRUE, {DEVICE_ABSENT}},
        {"removal of another device", DBT_DEVICEREMOVECOMPLETE, true, DBT_DEVTYP_DEVICEINTERFACE, OTHER_NAME, TRUE, {}},
        {"arrival of another device", DBT_DEVICEARRIVAL, true, DBT_DEVTYP_DEVICEINTERFACE, OTHER_NAME, TRUE, {}},
        {"query remove of the station", DBT_DEVICEQUERYREMOVE, true, DBT_DEVTYP_DEVICEINTERFACE, STATION_NAME, TRUE, {}},
        {"configuration changed", DBT_CONFIGCHANGED, false, 0, nullptr, TRUE, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        received.clear();
        LRESULT result;
        if (c.has_notice) {
            Notice notice(c.interface_name, c.type);
            result = handle_device_change(window, c.event, notice.lparam());
        } else {
            result = handle_device_change(window, c.event, 0);
        }
        EXPECT_EQ(result, c.result);
        std::vector<WPARAM> states;
        for (const Received &r : received)
            if (r.message == UM_DEVICE_STATE)
                states.push_back(r.wparam);
        EXPECT_EQ(states, c.states);
    }
}

TEST_F(StationLink, ANoticeNameIsReadOnlyWithinItsSize)
{
    Notice notice(STATION_NAME);
    notice.header.dbcc_size = sizeof(DEV_BROADCAST_HDR) + 4; // cuts the name before the ids
    EXPECT_EQ(handle_device_change(window, DBT_DEVICEREMOVECOMPLETE, notice.lparam()), TRUE);
    EXPECT_EQ(count_of(UM_DEVICE_STATE), 0);
}

TEST_F(StationLink, ArrivalOfTheStationConnectsOnlyWhenDiscoveryOpensIt)
{
    station_device_use_path(L"\\\\.\\pipe\\nimbrel-station-test-nobody-serves-this");
    Notice notice(STATION_NAME);
    EXPECT_EQ(handle_device_change(window, DBT_DEVICEARRIVAL, notice.lparam()), TRUE);
    EXPECT_EQ(count_of(UM_DEVICE_STATE), 0);

    PipeServer server;
    station_device_use_path(server.name);
    EXPECT_EQ(handle_device_change(window, DBT_DEVICEARRIVAL, notice.lparam()), TRUE);
    ASSERT_EQ(count_of(UM_DEVICE_STATE), 1);
    EXPECT_EQ(received[0].wparam, DEVICE_FOUND);
    EXPECT_EQ(device.found, 1);

    // The removal closes the station's handle for good.
    EXPECT_EQ(handle_device_change(window, DBT_DEVICEREMOVECOMPLETE, notice.lparam()), TRUE);
    EXPECT_EQ(station_io_handle(), INVALID_HANDLE_VALUE);
}

TEST_F(StationLink, DiscoveryThatFindsNothingDoesNotReportAnEarlierMatch)
{
    // A HID search finds no station under Wine; the earlier match must not
    // survive it any more than a path that is gone.
    const struct { const char *name; const wchar_t *path; } cases[] = {
        {"path gone", L"\\\\.\\pipe\\nimbrel-station-test-gone"},
        {"HID search", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        PipeServer server;
        station_device_use_path(server.name);
        ASSERT_EQ(station_device_discover(&device), 1);
        station_device_use_path(c.path);
        EXPECT_EQ(station_device_discover(&device), 0);
        EXPECT_EQ(device.found, 0);
    }
}

TEST_F(StationLink, SendCommandWritesOnlyWhileConnected)
{
    PipeServer server;
    station_device_use_path(server.name);
    ASSERT_EQ(station_device_discover(&device), 1);

    link_flags.connected = 0;
    EXPECT_NE(send_command(CMD_READ_LIVE), 0) << "absent counts as success";
    EXPECT_EQ(server.command(300), "") << "nothing was written";

    link_flags.connected = 1;
    EXPECT_NE(send_command(CMD_READ_LIVE), 0);
    EXPECT_EQ(server.command(), frame_text(CMD_READ_LIVE));

    station_device_close(&device);
    EXPECT_EQ(send_command(CMD_READ_LIVE), 0) << "a write without a handle fails";
}

TEST_F(StationLink, ClockAndGreetingFramesGoOutInOrder)
{
    PipeServer server;
    station_device_use_path(server.name);
    ASSERT_EQ(station_device_discover(&device), 1);
    link_flags.connected = 1;

    send_connect_greeting();
    EXPECT_EQ(server.command(), frame_text(CMD_STOP_TRANSFER));
    EXPECT_EQ(server.command(), frame_text(CMD_READ_LIVE));

    SYSTEMTIME before;
    GetLocalTime(&before);
    EXPECT_NE(sync_station_clock(window), 0);
    const std::string date = server.command();
    const std::string time = server.command();
    ASSERT_EQ(date.size(), 9u);
    ASSERT_EQ(time.size(), 9u);
    std::uint8_t expected[FRAME_BYTES];
    const LocalTime day = {before.wYear, before.wMonth, before.wDay, 0, 0, 0};
    build_date_frame(day, expected);
    EXPECT_EQ(date, frame_text(expected)) << "unless the test ran across midnight";
    EXPECT_EQ(static_cast<std::uint8_t>(time[2]), CMD_SET_TIME);
    EXPECT_LT(static_cast<std::uint8_t>(time[3]), 24);
}

TEST_F(StationLink, ReaderAnswersReportsAndDeliversRecordsBodiesAndStatus)
{
    PipeServer server;
    connect_to(server);

    EXPECT_EQ(live_record(server, "45 2026-03-07 ", "13:45 21.5"), "45 2026-03-07 13:45 21.5");

    ASSERT_TRUE(server.send(make_report(KIND_WU_BODY, 0, 0, 1, 1, "&tempf=70.1")));
    EXPECT_EQ(server.command(), frame_text(CMD_ACK));
    ASSERT_TRUE(pump_until([] { return count_of(UM_WU_BODY) == 1; }));
    EXPECT_EQ(received.back().text, "&tempf=70.1");

    ASSERT_TRUE(server.send(make_report(KIND_STATUS, 3 << 8 | 1, 0, 1, 1)));
    EXPECT_EQ(server.command(), frame_text(CMD_ACK));
    ASSERT_TRUE(pump_until([] { return count_of(UM_TIME_SYNC) == 1; }));
    EXPECT_EQ(link_flags.history_cancel, 1);

    ASSERT_TRUE(server.send(make_report(KIND_RECORD, 0, 0, 1, 2, "bad", 0)));
    EXPECT_EQ(server.command(), frame_text(CMD_PAGE_NAK));
}

TEST_F(StationLink, RepeatedStartsKeepOneReader)
{
    PipeServer server;
    connect_to(server);
    ASSERT_EQ(start_reader(window, window), 1);
    ASSERT_EQ(start_reader(window, window), 1);
    // With two readers, packets of one record would be split between their
    // buffers and come out cut.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(live_record(server, "first half ", "second half"), "first half second half") << "record " << i;
}

TEST_F(StationLink, StopEndsTheReaderAndANewStartAnswersAgain)
{
    PipeServer server;
    connect_to(server);
    EXPECT_EQ(live_record(server, "a", "b"), "ab");

    stop_reader();
    pump_until([] { return false; }, 300); // let the reader give up its read
    ASSERT_TRUE(server.send(make_report(KIND_STATUS, 0, 0, 1, 1)));
    EXPECT_EQ(server.command(500), "") << "a stopped reader answers nothing";

    // Arrival while the old reader may still be ending: one new reader.
    ASSERT_EQ(start_reader(window, window), 1);
    EXPECT_EQ(server.command(), frame_text(CMD_ACK)) << "the waiting report is read by the new reader";
    EXPECT_EQ(live_record(server, "c", "d"), "cd");
}

TEST_F(StationLink, FinishingTheReaderWaitsUntilItHasEnded)
{
    PipeServer server;
    connect_to(server);
    EXPECT_EQ(live_record(server, "a", "b"), "ab");
    // No pumping here: finish_reader itself must let the reader end.
    EXPECT_EQ(finish_reader(), 1);
    ASSERT_TRUE(server.send(make_report(KIND_STATUS, 0, 0, 1, 1)));
    EXPECT_EQ(server.command(500), "") << "an ended reader answers nothing";
    EXPECT_EQ(finish_reader(), 1) << "nothing left to finish";
}

TEST_F(StationLink, AClosedConsoleEndsThePendingReadAndTheReaderMovesToTheNewHandle)
{
    PipeServer first;
    connect_to(first);
    EXPECT_EQ(live_record(first, "a", "b"), "ab");
    first.close(); // the pending read fails; later reads fail at once
    pump_until([] { return false; }, 300);

    PipeServer second;
    station_device_use_path(second.name);
    ASSERT_EQ(station_device_discover(&device), 1);
    EXPECT_EQ(live_record(second, "c", "d"), "cd") << "the running reader uses the current handle";
}

TEST_F(StationLink, ANoticeDuringTheShutdownWaitNeitherStartsNorFreesAReader)
{
    PipeServer server;
    connect_to(server);
    ASSERT_TRUE(server.send(make_report(KIND_RECORD, 0, 0, 1, 2, "a")));
    EXPECT_EQ(server.command(), frame_text(CMD_PAGE_ACK));
    // The record's last packet: the reader answers it, then waits in its
    // message to the window, which this thread does not pump.
    ASSERT_TRUE(server.send(make_report(KIND_RECORD, 0, 0, 2, 2, "b")));
    Sleep(500);
    start_reader_on_live_record = true;
    const DWORD start = GetTickCount();
    const int ended = finish_reader(); // its wait delivers the record, and the notice
    const DWORD waited = GetTickCount() - start;
    start_reader_on_live_record = false;
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(count_of(UM_LIVE_RECORD), 1);
    EXPECT_LT(waited, 2000u) << "a reader was started and waited for inside the wait";
    EXPECT_EQ(server.command(), frame_text(CMD_PAGE_ACK)) << "the answer to the last packet";
    ASSERT_TRUE(server.send(make_report(KIND_STATUS, 0, 0, 1, 1)));
    EXPECT_EQ(server.command(500), "") << "a reader still runs after the shutdown";
    EXPECT_EQ(finish_reader(), 1);
}

} // namespace

namespace {
struct SendCall {
    int result = -1;
};
DWORD WINAPI send_read_live(void *argument)
{
    static_cast<SendCall *>(argument)->result = send_command(CMD_READ_LIVE);
    return 0;
}
} // namespace

TEST_F(StationLink, ACommandTheConsoleDoesNotTakeFailsWithinASecondOrTwo)
{
    // A console end without buffer that never reads: the write stays pending.
    wchar_t name[80];
    wsprintfW(name, L"\\\\.\\pipe\\nimbrel-station-stuck-%lu", GetCurrentProcessId());
    HANDLE stuck = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 0, 0,
                                    nullptr);
    ASSERT_NE(stuck, INVALID_HANDLE_VALUE);
    station_device_use_path(name);
    ASSERT_EQ(station_device_discover(&device), 1);
    link_flags.connected = 1;
    SendCall call;
    HANDLE sender = CreateThread(nullptr, 0, send_read_live, &call, 0, nullptr);
    ASSERT_NE(sender, nullptr);
    const DWORD ended = WaitForSingleObject(sender, 5000);
    // Let a stuck sender go before judging.
    CloseHandle(stuck);
    station_device_close(&device);
    WaitForSingleObject(sender, 5000);
    CloseHandle(sender);
    EXPECT_EQ(ended, WAIT_OBJECT_0) << "the write waited without a limit";
    EXPECT_EQ(call.result, 0) << "a write that did not complete counts as failed";
}

// A console that leaves a download half sent keeps it running for as long
// as the station is connected: only Cancel or an unplug ends it. When the
// console goes on after a long pause, the download completes as usual.
TEST_F(StationLink, ADownloadTheConsoleLeavesRunsOnWhileConnected)
{
    PipeServer server;
    history_store.slot[2][0] = 0;
    std::memcpy(export_request.file_name, u"C:\\history.csv", sizeof u"C:\\history.csv");
    connect_to(server);
    // The first packet of the first of three pages, and then nothing.
    ASSERT_TRUE(server.send(make_report(KIND_RECORD, 3, 1, 1, 2, "12 2026-12-08 ")));
    EXPECT_EQ(server.command(), frame_text(CMD_PAGE_ACK));
    ASSERT_TRUE(pump_until([] { return count_of(UM_HISTORY_START) == 1; }));
    const std::size_t heard = received.size();
    pump_until([] { return false; }, 12000); // longer than any quiet the reader could mind
    EXPECT_EQ(received.size(), heard) << "the reader spoke while the console was quiet";
    EXPECT_EQ(link_flags.history_active, 1);

    const char *rest[][2] = {
        {nullptr, "09:00"}, {"12 2026-12-08 ", "09:30"}, {"12 2026-12-08 ", "10:00"}};
    for (int page = 1; page <= 3; ++page)
        for (int packet = 1; packet <= 2; ++packet) {
            const char *text = rest[page - 1][packet - 1];
            if (!text)
                continue;
            ASSERT_TRUE(server.send(make_report(KIND_RECORD, 3, page, packet, 2, text)));
            EXPECT_EQ(server.command(), frame_text(CMD_PAGE_ACK));
        }
    EXPECT_TRUE(pump_until([] { return count_of(UM_HISTORY_COMPLETE) == 1; }));
    EXPECT_STREQ(reinterpret_cast<const char *>(history_store.slot[2]), "12 2026-12-08 10:00");
    export_request = ExportRequest{};
}
