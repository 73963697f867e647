// Program entry of nimbrel.exe.
//
// Without options the program looks for the console on the USB bus.
// "--simulate" runs it on the built-in simulated console and
// "--simulate=FILE" replays a scenario file; either way the console is
// reached through the same I/O path as the USB device.
// "--upload-server=HOST:PORT" sends both services' uploads to that server
// instead of their own hosts, for tests against a local server; with
// "--simulate" and no server the uploads are built and dropped.
// "--upload-status-period=SECONDS" shortens the ten-minute upload status
// interval, for tests.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "ui/message_box_win32.h"
#include "app/shell_win32.h"
#include "settings/server_group_win32.h"
#include "simulator/sim_pipe_win32.h"
#include "upload/request.h"
#include "upload/upload_worker_win32.h"

namespace {
struct Options {
    bool simulate;
    const wchar_t *scenario; // null: the built-in weather
    bool bad_upload_server;
    bool bad_status_period;
};

Options read_options(int argc, wchar_t **argv)
{
    Options options = {false, nullptr, false, false};
    const wchar_t flag[] = L"--simulate";
    const size_t flag_length = sizeof flag / sizeof flag[0] - 1;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], flag) == 0) {
            options.simulate = true;
        } else if (std::wcsncmp(argv[i], flag, flag_length) == 0 && argv[i][flag_length] == L'=') {
            options.simulate = true;
            options.scenario = argv[i] + flag_length + 1;
        } else if (std::wcsncmp(argv[i], L"--upload-server=", 16) == 0) {
            options.bad_upload_server = !parse_upload_server(
                reinterpret_cast<const char16_t *>(argv[i] + 16), upload_server.host,
                &upload_server.port);
        } else if (std::wcsncmp(argv[i], L"--upload-status-period=", 23) == 0) {
            wchar_t *end = nullptr;
            const unsigned long seconds = std::wcstoul(argv[i] + 23, &end, 10);
            options.bad_status_period = end == argv[i] + 23 || *end != 0 || seconds < 1 || seconds > 600;
            if (!options.bad_status_period)
                upload_status_period_ms = static_cast<UINT>(seconds * 1000);
        }
    }
    return options;
}

// A broken scenario stops the start: said on standard error for scripts
// and in a message box for a person.
int start_simulation(const Options &options)
{
    wchar_t pipe[MAX_PATH] = {};
    wchar_t error[512] = {};
    if (sim_console_start(options.scenario, nullptr, pipe, MAX_PATH, error, 512))
        return 1;
    std::fwprintf(stderr, L"nimbrel: %ls\n", error);
    std::fflush(stderr);
    show_message(nullptr, error, L"Error", MB_OK | MB_ICONERROR);
    return 0;
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    // One copy at a time: a second one leaves silently.
    HANDLE single = CreateSemaphoreW(nullptr, 0, 1, L"Pelmar");
    if (single && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(single);
        return 0;
    }

    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const Options options = argv ? read_options(argc, argv) : Options{false, nullptr, false, false};
    if (options.bad_upload_server) {
        std::fwprintf(stderr, L"nimbrel: --upload-server wants HOST:PORT\n");
        return 2;
    }
    if (options.bad_status_period) {
        std::fwprintf(stderr, L"nimbrel: --upload-status-period wants SECONDS from 1 to 600\n");
        return 2;
    }
    if (options.simulate && !start_simulation(options))
        return 2;
    // Invented weather goes to a local server or nowhere.
    if (options.simulate && !upload_server.host[0])
        upload_server.discard = 1;

    InitCommonControls();
    register_main_window_class(instance);
    if (!init_instance(instance, show))
        return 0;
    if (options.simulate)
        sim_console_set_window(main_window);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (options.simulate)
        sim_console_stop();
    LocalFree(argv);
    return static_cast<int>(msg.wParam);
}
