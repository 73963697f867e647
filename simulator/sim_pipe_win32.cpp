// The simulated console's pipe server. One thread owns the console, the
// driver (weather or scenario) and every pipe handle; the only thing it
// shares is the main window handle, written whole before or while it runs.
//
// A spare instance always listens beside the connected one, because the
// program's discovery closes its old handle and opens the path again at
// once; the newest client then replaces the old one, as a re-opened USB
// device would.
#include "simulator/sim_pipe_win32.h"

#include <dbt.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <cwchar>

#include "simulator/scenario.h"
#include "station/station_device_win32.h"
#include "simulator/virtual_console.h"
#include "simulator/weather_model.h"

namespace {

constexpr DWORD PIPE_BUFFER = 64 * 1024;
constexpr DWORD COMMAND_BUFFER = 4096;  // larger than any command, so frames arrive whole
constexpr DWORD MAX_SCENARIO_BYTES = 64u * 1024 * 1024;
constexpr int DEMO_HISTORY_DAYS = 21;
constexpr std::int64_t LONGEST_SLEEP_MS = 1000;

struct SimPipe {
    HANDLE thread;
    HANDLE stop_event;
    HWND volatile window;
    wchar_t path[64];

    // Owned by the console thread once it runs.
    VirtualConsole console;
    DemoConsole demo;
    Scenario scenario;
    ScenarioRun run;
    int replay;  // a scenario, not the built-in weather
    int plugged;
    HANDLE active;     // the instance a program is connected to
    HANDLE listening;  // the spare instance waiting for the next one
    OVERLAPPED connect_ov;
    OVERLAPPED read_ov;
    OVERLAPPED write_ov;
    std::uint8_t command[COMMAND_BUFFER];
    int discarding;  // the rest of an oversized message is being skipped
};

SimPipe sim;

std::int64_t now_ms()
{
    return static_cast<std::int64_t>(GetTickCount64());
}

std::int64_t local_clock()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return seconds_from_civil({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond});
}

void set_error(wchar_t *error, std::size_t capacity, const wchar_t *format, const wchar_t *path,
               const char *detail)
{
    if (!error || !capacity)
        return;
    wchar_t wide_detail[160] = {};
    if (detail)
        MultiByteToWideChar(CP_UTF8, 0, detail, -1, wide_detail, 159);
    std::swprintf(error, capacity, format, path ? path : L"", wide_detail);
}

// ---- pipe instances --------------------------------------------------------

void close_instance(HANDLE *h)
{
    if (*h == INVALID_HANDLE_VALUE)
        return;
    CancelIo(*h);
    DisconnectNamedPipe(*h);
    CloseHandle(*h);
    *h = INVALID_HANDLE_VALUE;
}

// A new listening instance with its connect under way.
int listen(DWORD first_flag)
{
    sim.listening = CreateNamedPipeW(sim.path, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | first_flag,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, PIPE_BUFFER, COMMAND_BUFFER, 0, nullptr);
    if (sim.listening == INVALID_HANDLE_VALUE)
        return 0;
    ResetEvent(sim.connect_ov.hEvent);
    if (!ConnectNamedPipe(sim.listening, &sim.connect_ov)) {
        const DWORD e = GetLastError();
        if (e == ERROR_PIPE_CONNECTED) {
            SetEvent(sim.connect_ov.hEvent);
        } else if (e != ERROR_IO_PENDING) {
            close_instance(&sim.listening);
            return 0;
        }
    }
    return 1;
}

void drop_active()
{
    if (sim.active == INVALID_HANDLE_VALUE)
        return;
    close_instance(&sim.active);
    console_disconnect(&sim.console);
}

void start_read()
{
    ResetEvent(sim.read_ov.hEvent);
    if (ReadFile(sim.active, sim.command, COMMAND_BUFFER, nullptr, &sim.read_ov))
        return;  // done already; the event is set
    const DWORD e = GetLastError();
    if (e != ERROR_IO_PENDING && e != ERROR_MORE_DATA)
        drop_active();  // otherwise the completion is looked at when the event fires
}

void on_connect()
{
    DWORD unused = 0;
    const BOOL ok = GetOverlappedResult(sim.listening, &sim.connect_ov, &unused, FALSE);
    if (!ok && GetLastError() != ERROR_PIPE_CONNECTED) {
        close_instance(&sim.listening);
        listen(0);
        return;
    }
    drop_active();
    sim.active = sim.listening;
    sim.listening = INVALID_HANDLE_VALUE;
    listen(0);
    sim.discarding = 0;
    console_connect(&sim.console, now_ms());
    start_read();
}

void on_read()
{
    DWORD got = 0;
    if (GetOverlappedResult(sim.active, &sim.read_ov, &got, FALSE)) {
        if (!sim.discarding)
            console_feed_command(&sim.console, sim.command, got, now_ms());
        sim.discarding = 0;
    } else if (GetLastError() == ERROR_MORE_DATA) {
        // Too long to be a command: skip it to its end.
        sim.discarding = 1;
    } else {
        drop_active();  // the program closed its handle
        return;
    }
    start_read();
}

// Writes one report and waits for it to leave; a program that stops
// reading for long is treated as gone.
void write_report(const std::uint8_t report[REPORT_BYTES])
{
    ResetEvent(sim.write_ov.hEvent);
    if (WriteFile(sim.active, report, REPORT_BYTES, nullptr, &sim.write_ov))
        return;
    if (GetLastError() != ERROR_IO_PENDING) {
        drop_active();
        return;
    }
    HANDLE wait[2] = {sim.write_ov.hEvent, sim.stop_event};
    DWORD written = 0;
    if (WaitForMultipleObjects(2, wait, FALSE, 5000) != WAIT_OBJECT_0 ||
        !GetOverlappedResult(sim.active, &sim.write_ov, &written, FALSE))
        drop_active();
}

// ---- device notices ------------------------------------------------------

void notify(WPARAM event)
{
    const HWND window = sim.window;
    if (!window)
        return;
    // The name a USB console's HID interface has, so the program's own
    // device-change handling recognises it.
    static const wchar_t name[] =
        L"\\\\?\\HID#VID_1941&PID_8021&MI_00#7&2f1c3a5&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    union {
        DEV_BROADCAST_DEVICEINTERFACE_W notice;
        unsigned char bytes[sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + sizeof name];
    } b = {};
    b.notice.dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + sizeof name);
    b.notice.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&b.notice.dbcc_classguid);
    std::wmemcpy(b.notice.dbcc_name, name, sizeof name / sizeof name[0]);
    SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&b.notice));
}

void unplug()
{
    if (!sim.plugged)
        return;
    sim.plugged = 0;
    drop_active();
    close_instance(&sim.listening);
    notify(DBT_DEVICEREMOVECOMPLETE);
}

void plug()
{
    if (sim.plugged)
        return;
    sim.plugged = listen(0);
    notify(DBT_DEVICEARRIVAL);
}

// ---- the console thread --------------------------------------------------

// Runs the driver and sends what is due; returns how long to sleep.
DWORD turn()
{
    const std::int64_t now = now_ms();
    std::int64_t wait = LONGEST_SLEEP_MS;
    if (sim.replay) {
        const ScenarioAction a = scenario_step(&sim.scenario, &sim.run, &sim.console, now);
        if (a == SCENARIO_ACT_UNPLUG)
            unplug();
        else if (a == SCENARIO_ACT_PLUG)
            plug();
        if (a != SCENARIO_ACT_NONE)
            return 0;
        const std::int64_t w = scenario_wait_ms(&sim.scenario, &sim.run, &sim.console, now);
        if (w >= 0 && w < wait)
            wait = w;
    } else {
        demo_step(&sim.demo, &sim.console, now);
        const std::int64_t w = demo_wait_ms(&sim.demo, &sim.console, now);
        if (w < wait)
            wait = w;
    }
    std::uint8_t report[REPORT_BYTES];
    while (sim.active != INVALID_HANDLE_VALUE && console_next_report(&sim.console, now, report))
        write_report(report);
    const std::int64_t w = console_wait_ms(&sim.console, now);
    if (w >= 0 && w < wait)
        wait = w;
    // A reply in the pipe wakes the thread anyway; this only bounds timers.
    return static_cast<DWORD>(wait < 1 ? 1 : wait);
}

DWORD WINAPI console_thread(void *)
{
    for (;;) {
        const DWORD sleep_ms = turn();
        HANDLE wait[3] = {sim.stop_event};
        int kinds[3] = {0};
        DWORD n = 1;
        if (sim.listening != INVALID_HANDLE_VALUE) {
            wait[n] = sim.connect_ov.hEvent;
            kinds[n++] = 1;
        }
        if (sim.active != INVALID_HANDLE_VALUE) {
            wait[n] = sim.read_ov.hEvent;
            kinds[n++] = 2;
        }
        const DWORD r = WaitForMultipleObjects(n, wait, FALSE, sleep_ms);
        if (r == WAIT_OBJECT_0)
            break;
        if (r > WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + n) {
            if (kinds[r - WAIT_OBJECT_0] == 1)
                on_connect();
            else
                on_read();
        }
    }
    drop_active();
    close_instance(&sim.listening);
    return 0;
}

int load_scenario(const wchar_t *path, wchar_t *error, std::size_t capacity)
{
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        set_error(error, capacity, L"Cannot open the scenario file %ls%ls", path, nullptr);
        return 0;
    }
    LARGE_INTEGER size = {};
    std::string text;
    int ok = GetFileSizeEx(f, &size) && size.QuadPart <= MAX_SCENARIO_BYTES;
    if (ok) {
        text.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        ok = text.empty() || (ReadFile(f, &text[0], static_cast<DWORD>(text.size()), &got, nullptr) &&
                              got == text.size());
    }
    CloseHandle(f);
    if (!ok) {
        set_error(error, capacity, L"Cannot read the scenario file %ls (at most 64 MB)%ls", path, nullptr);
        return 0;
    }
    char message[160];
    if (!parse_scenario(text.data(), text.size(), &sim.scenario, message, sizeof message)) {
        set_error(error, capacity, L"Scenario %ls, %ls", path, message);
        return 0;
    }
    return 1;
}

void release_events()
{
    HANDLE *events[] = {&sim.stop_event, &sim.connect_ov.hEvent, &sim.read_ov.hEvent, &sim.write_ov.hEvent};
    for (HANDLE *h : events) {
        if (*h)
            CloseHandle(*h);
        *h = nullptr;
    }
}

} // namespace

int sim_console_start(const wchar_t *scenario_path, HWND main_window, wchar_t *pipe_path,
                      std::size_t pipe_capacity, wchar_t *error, std::size_t error_capacity)
{
    if (error && error_capacity)
        error[0] = 0;
    if (sim.thread) {
        set_error(error, error_capacity, L"The simulated console is already running%ls%ls", nullptr, nullptr);
        return 0;
    }
    sim.scenario.directives.clear();
    if (scenario_path && !load_scenario(scenario_path, error, error_capacity))
        return 0;

    std::swprintf(sim.path, sizeof sim.path / sizeof sim.path[0], L"\\\\.\\pipe\\nimbrel-console-%lu",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    if (!pipe_path || std::wcslen(sim.path) >= pipe_capacity) {
        set_error(error, error_capacity, L"No room for the pipe path%ls%ls", nullptr, nullptr);
        return 0;
    }
    const std::int64_t now = now_ms();
    console_init(&sim.console, local_clock(), now);
    sim.replay = scenario_path != nullptr;
    if (sim.replay)
        scenario_start(&sim.scenario, &sim.run, &sim.console);
    else
        demo_start(&sim.demo, &sim.console, 1, DEMO_HISTORY_DAYS, now);
    sim.window = main_window;
    sim.active = sim.listening = INVALID_HANDLE_VALUE;
    sim.stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    sim.connect_ov = OVERLAPPED{};
    sim.read_ov = OVERLAPPED{};
    sim.write_ov = OVERLAPPED{};
    sim.connect_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    sim.read_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    sim.write_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // The first instance is made here, so the path opens as soon as this returns.
    if (!sim.stop_event || !sim.connect_ov.hEvent || !sim.read_ov.hEvent || !sim.write_ov.hEvent ||
        !listen(FILE_FLAG_FIRST_PIPE_INSTANCE)) {
        set_error(error, error_capacity, L"Cannot create the pipe %ls%ls", sim.path, nullptr);
        release_events();
        return 0;
    }
    sim.plugged = 1;
    sim.thread = CreateThread(nullptr, 0, console_thread, nullptr, 0, nullptr);
    if (!sim.thread) {
        close_instance(&sim.listening);
        release_events();
        set_error(error, error_capacity, L"Cannot start the simulated console%ls%ls", nullptr, nullptr);
        return 0;
    }
    std::wcscpy(pipe_path, sim.path);
    station_device_use_path(sim.path);
    return 1;
}

void sim_console_set_window(HWND main_window)
{
    sim.window = main_window;
}

void sim_console_stop()
{
    if (!sim.thread)
        return;
    SetEvent(sim.stop_event);
    // The console thread may be inside SendMessageW to this very thread.
    while (MsgWaitForMultipleObjects(1, &sim.thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(sim.thread);
    sim.thread = nullptr;
    release_events();
    sim.window = nullptr;
}
