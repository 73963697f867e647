// The export in-process under Wine: the worker writing, failing and being
// cancelled, and the Export button's checks and save dialog on the page's
// own controls.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "message_window.h"

#include "ui/message_box_win32.h"
#include "ui/save_dialog_win32.h"
#include "app/shell_win32.h"
#include "console_frames.h"
#include "history/export_group_win32.h"
#include "history/export_worker_win32.h"
#include "history/history_store.h"
#include "resources/resource.h"
#include "settings/unit_settings.h"
#include "station/commands.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "station/station_device_win32.h"

namespace {

const char record[] =
    "12 2026-12-08 14:00 21.1 45 7.9 80 1.5 0.3 10.1 15.2 200 SSW 1013.4 1001.3 3 4.6 7.9 "
    "19.4 50 18.2 51 17.3 52 16.4 53 15.5 54 14.6 55 13.7 56 7.8 0.2 4.4 14.8";

std::wstring temp_file(const wchar_t *name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::vector<unsigned char> file_bytes(const std::wstring &path)
{
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    unsigned char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    CloseHandle(file);
    return bytes;
}

bool exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The temporary files an export into temp_file(name) may leave beside it.
int temporaries_of(const wchar_t *name)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(temp_file((std::wstring(L"~") + name + L".*.tmp").c_str()).c_str(),
                                   &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 1;
    while (FindNextFileW(search, &found))
        ++count;
    FindClose(search);
    return count;
}

int row_count(const std::vector<unsigned char> &bytes)
{
    int rows = 0;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        if (bytes[i] == '\n' && bytes[i + 1] == 0 && !(bytes[i - 2] == '\r' && bytes[i - 1] == 0))
            ++rows;
    return rows;
}

HistoryStore store; // 27 MB

void fill(int count)
{
    clear_history_store(store);
    for (int i = 0; i < count; ++i)
        std::memcpy(store.slot[i], record, sizeof record - 1);
}

ExportRequest whole_request()
{
    ExportRequest request{};
    request.whole_period = 1;
    for (int &flag : request.data_set)
        flag = 1;
    return request;
}

// ---- the worker ------------------------------------------------------------

TEST(ExportWorker, WritesTheFileAndReplacesAnOldOne)
{
    const std::wstring path = temp_file(L"nimbrel-export-written.csv");
    HANDLE old = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(old, INVALID_HANDLE_VALUE);
    std::vector<char> junk(200000, 'x');
    DWORD written = 0;
    WriteFile(old, junk.data(), DWORD(junk.size()), &written, nullptr);
    CloseHandle(old);

    fill(3);
    LinkFlags flags;
    flags.history_complete = 1;
    flags.history_total = 3;
    flags.history_cancel = 1; // left from an earlier cancel: the worker clears it
    EXPECT_EQ(run_export(path.c_str(), store, whole_request(), UnitSettings{}, flags), EXPORT_ENDED);
    const auto bytes = file_bytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(row_count(bytes), 5);
    EXPECT_LT(bytes.size(), junk.size()) << "the old file was not replaced";
    EXPECT_EQ(temporaries_of(L"nimbrel-export-written.csv"), 0);
    EXPECT_EQ(flags.history_complete, 1);
    DeleteFileW(path.c_str());
}

TEST(ExportWorker, FailuresAreReportedAndLeaveNoFile)
{
    fill(3);
    struct Case {
        const char *name;
        std::wstring path;
        int complete;
    } cases[] = {
        {"download not complete", temp_file(L"nimbrel-export-incomplete.csv"), 0},
        {"folder does not exist", temp_file(L"no-such-folder\\report.csv"), 1},
    };
    for (const Case &c : cases) {
        LinkFlags flags;
        flags.history_complete = c.complete;
        flags.history_total = 3;
        EXPECT_EQ(run_export(c.path.c_str(), store, whole_request(), UnitSettings{}, flags),
                  EXPORT_FAILED)
            << c.name;
        EXPECT_FALSE(exists(c.path)) << c.name;
    }
}

void write_file(const std::wstring &path, const std::vector<char> &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

const wchar_t cancelled_name[] = L"nimbrel-export-cancelled.csv";

// Sets the flag once the file is begun.
DWORD WINAPI cancel_once_writing(void *argument)
{
    auto *flag = static_cast<std::atomic<int> *>(argument);
    for (int waited = 0; waited < 20000 && !temporaries_of(cancelled_name); ++waited)
        Sleep(1);
    *flag = 1;
    return 0;
}

TEST(ExportWorker, CancelLeavesTheEarlierFileAsItWasAndNothingBesideIt)
{
    const std::wstring path = temp_file(cancelled_name);
    const std::vector<char> earlier(5000, 'e');
    fill(HISTORY_SLOTS);
    const struct {
        const char *name;
        bool while_writing; // else pressed as the worker starts
        std::atomic<int> LinkFlags::*flag;
    } cases[] = {
        {"cancel as the worker starts", false, &LinkFlags::export_cancel},
        {"cancel while it writes", true, &LinkFlags::export_cancel},
        // The console's status report or an unplug.
        {"download cancelled while it writes", true, &LinkFlags::history_cancel},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(path, earlier);
        LinkFlags flags;
        flags.history_complete = 1;
        flags.history_total = HISTORY_SLOTS;
        if (!c.while_writing)
            flags.*c.flag = 1;
        HANDLE canceller = c.while_writing
                               ? CreateThread(nullptr, 0, cancel_once_writing, &(flags.*c.flag), 0, nullptr)
                               : nullptr;
        EXPECT_EQ(run_export(path.c_str(), store, whole_request(), UnitSettings{}, flags), EXPORT_ENDED);
        if (canceller) {
            WaitForSingleObject(canceller, INFINITE);
            CloseHandle(canceller);
        }
        const auto bytes = file_bytes(path);
        EXPECT_TRUE(std::vector<char>(bytes.begin(), bytes.end()) == earlier) << "the earlier file changed";
        EXPECT_EQ(temporaries_of(cancelled_name), 0);
        EXPECT_EQ(flags.history_complete, 0);
    }
    DeleteFileW(path.c_str());
}

// The worker's last act is a message sent to the dashboard, a window of the
// interface thread: here one of the test thread, which answers only when
// it pumps.
std::vector<LPARAM> export_results;
LRESULT CALLBACK dashboard_stand_in(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == UM_EXPORT_DONE) {
        export_results.push_back(lparam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

// Starts the real worker over the process-wide store on `rows` records.
void start_worker_on(const std::wstring &path, int rows)
{
    ASSERT_TRUE(pump_until([] { return export_running() == 0; })) << "an earlier worker still runs";
    clear_history_store(history_store);
    for (int i = 0; i < rows; ++i)
        std::memcpy(history_store.slot[i], record, sizeof record - 1);
    export_request = whole_request();
    link_flags.history_complete = 1;
    link_flags.history_total = rows;
    link_flags.export_cancel = 0;
    export_results.clear();
    ASSERT_EQ(start_export_worker(path.c_str()), 1);
}

TEST(ExportWorker, ShutdownWaitsForTheWritingWorkerAndAnswersItsLastMessage)
{
    const std::wstring path = temp_file(L"nimbrel-export-shutdown.csv");
    DeleteFileW(path.c_str());
    dashboard_page = make_message_window(L"NimbrelDashboardStandIn", dashboard_stand_in);
    const int rows = 20000; // long enough to be still writing, short enough for a loaded machine
    start_worker_on(path, rows);
    // No pumping here: finish_export_worker itself must answer the worker.
    const DWORD start = GetTickCount();
    finish_export_worker();
    const DWORD waited = GetTickCount() - start;
    EXPECT_EQ(export_running(), 0) << "the worker was left running";
    ASSERT_EQ(export_results.size(), 1u);
    EXPECT_EQ(export_results[0], EXPORT_ENDED);
    EXPECT_LT(waited, 5000u) << "the wait ran out instead of seeing the worker end";
    EXPECT_EQ(row_count(file_bytes(path)), rows + 2) << "the file was cut";
    pump_until([] { return export_running() == 0; }, 20000);
    DestroyWindow(dashboard_page);
    dashboard_page = nullptr;
    DeleteFileW(path.c_str());
}

// ---- the export group on the page's controls -------------------------------

struct Shown {
    std::wstring text, caption;
};
std::vector<Shown> shown;
int record_message(HWND, const wchar_t *text, const wchar_t *caption, UINT)
{
    shown.push_back({text, caption});
    return IDOK;
}

std::wstring dialog_answer; // empty: the user cancels
int dialog_calls;
int answer_dialog(HWND, wchar_t *path, DWORD capacity)
{
    ++dialog_calls;
    if (dialog_answer.empty())
        return 0;
    wcsncpy(path, dialog_answer.c_str(), capacity - 1);
    return 1;
}

INT_PTR CALLBACK plain_page(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

// The page's template is a child dialog: it needs a top-level parent.
HWND make_parent()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"NimbrelExportTest";
    RegisterClassW(&wc); // fails harmlessly when already registered
    return CreateWindowExW(0, L"NimbrelExportTest", L"", WS_OVERLAPPED, 0, 0, 900, 600, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

class ExportGroup : public ::testing::Test {
protected:
    HWND parent = nullptr;
    HWND page = nullptr;
    void SetUp() override
    {
        parent = make_parent();
        page = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETUP), parent,
                                  plain_page, 0);
        ASSERT_NE(page, nullptr);
        message_box_hook = record_message;
        save_dialog_hook = answer_dialog;
        shown.clear();
        dialog_calls = 0;
        dialog_answer.clear();
        export_request = ExportRequest{};
        link_flags.connected = 1;
        link_flags.history_active = 0;
        link_flags.history_cancel = 1;
        link_flags.history_requested = 0; // an accepted export of an earlier test sets it
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        link_flags.connected = 0;
        link_flags.history_cancel = 0;
    }
    void type_dates(const wchar_t *const dates[6])
    {
        const int edits[6] = {IDC_START_YEAR, IDC_START_MONTH, IDC_START_DAY,
                              IDC_END_YEAR,   IDC_END_MONTH,   IDC_END_DAY};
        for (int i = 0; i < 6; ++i)
            SetDlgItemTextW(page, edits[i], dates[i]);
    }
    void click(int id) { export_group_command(page, MAKEWPARAM(id, BN_CLICKED)); }
    UINT state(int id) { return IsDlgButtonChecked(page, id); }
};

TEST_F(ExportGroup, SelectAllAndClearAllLeaveWholePeriodAlone)
{
    click(IDC_SELECT_ALL);
    for (int id = IDC_SET_PRESSURE; id <= IDC_SET_CH7; ++id)
        EXPECT_EQ(state(id), UINT(BST_CHECKED)) << "box " << id;
    EXPECT_EQ(state(IDC_WHOLE_PERIOD), UINT(BST_UNCHECKED));
    CheckDlgButton(page, IDC_WHOLE_PERIOD, BST_CHECKED);
    click(IDC_CLEAR_ALL);
    for (int id = IDC_SET_PRESSURE; id <= IDC_SET_CH7; ++id)
        EXPECT_EQ(state(id), UINT(BST_UNCHECKED)) << "box " << id;
    EXPECT_EQ(state(IDC_WHOLE_PERIOD), UINT(BST_CHECKED));
    EXPECT_EQ(export_group_command(page, MAKEWPARAM(IDC_START_YEAR, EN_CHANGE)), 0);
}

TEST_F(ExportGroup, EachDataSetBoxSetsItsOwnFlag)
{
    // Box and the export request's flag (0 pressure, 1 indoor, 2 outdoor,
    // 3 rain, 4 UV, 5 wind, 6 dew point, 7 heat index, 8 .. 14 CH1 .. CH7).
    const struct { int box, flag; } boxes[] = {
        {IDC_SET_PRESSURE, 0}, {IDC_SET_INDOOR, 1},     {IDC_SET_OUTDOOR, 2},
        {IDC_SET_RAIN, 3},     {IDC_SET_UV, 4},         {IDC_SET_WIND, 5},
        {IDC_SET_DEW_POINT, 6}, {IDC_SET_HEAT_INDEX, 7}, {IDC_SET_CH1, 8},
        {IDC_SET_CH2, 9},      {IDC_SET_CH3, 10},       {IDC_SET_CH4, 11},
        {IDC_SET_CH5, 12},     {IDC_SET_CH6, 13},       {IDC_SET_CH7, 14}};
    CheckDlgButton(page, IDC_WHOLE_PERIOD, BST_CHECKED);
    for (const auto &b : boxes) {
        click(IDC_CLEAR_ALL);
        CheckDlgButton(page, b.box, BST_CHECKED);
        ASSERT_EQ(check_export_request(page), 1) << "box " << b.box;
        for (int flag = 0; flag < 15; ++flag)
            EXPECT_EQ(export_request.data_set[flag], flag == b.flag ? 1 : 0)
                << "box " << b.box << ", flag " << flag;
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(ExportGroup, WholePeriodEmptiesAndDisablesTheDates)
{
    const wchar_t *dates[6] = {L"2018", L"1", L"5", L"2018", L"2", L"6"};
    type_dates(dates);
    CheckDlgButton(page, IDC_WHOLE_PERIOD, BST_CHECKED);
    click(IDC_WHOLE_PERIOD);
    for (int id = IDC_START_YEAR; id <= IDC_END_DAY; ++id) {
        EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(page, id)), 0) << "field " << id;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, id))) << "field " << id;
    }
    CheckDlgButton(page, IDC_WHOLE_PERIOD, BST_UNCHECKED);
    click(IDC_WHOLE_PERIOD);
    for (int id = IDC_START_YEAR; id <= IDC_END_DAY; ++id) {
        EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(page, id)), 0) << "field " << id;
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, id))) << "field " << id;
    }
}

TEST_F(ExportGroup, ExportDoesNothingWhileBusyOrWithoutStation)
{
    CheckDlgButton(page, IDC_WHOLE_PERIOD, BST_CHECKED);
    dialog_answer = L"C:\\report.csv";
    link_flags.history_active = 1;
    click(IDC_EXPORT);
    link_flags.history_active = 0;
    link_flags.connected = 0;
    click(IDC_EXPORT);
    EXPECT_EQ(dialog_calls, 0);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(export_request.file_name[0], 0);
    EXPECT_EQ(link_flags.history_cancel, 1);
}

TEST_F(ExportGroup, BadDateStopsBeforeTheDialog)
{
    const wchar_t *dates[6] = {L"2018", L"13", L"5", L"2016", L"1", L"5"};
    type_dates(dates);
    click(IDC_EXPORT);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Month input error !");
    EXPECT_EQ(shown[0].caption, L"Error");
    EXPECT_EQ(dialog_calls, 0);
}

// Only an accepted name starts the download, and the request it will be
// written with holds the dates typed and the box ticked before the dialog.
TEST_F(ExportGroup, DialogAnswers)
{
    const std::wstring long_path = L"C:\\" + std::wstring(300, L'a') + L".csv";
    struct Case {
        const wchar_t *name;
        std::wstring answer;
        const wchar_t *message; // null: silent
        const wchar_t *stored;  // file name afterwards
    } cases[] = {
        {L"cancelled", L"", nullptr, L"C:\\old.csv"},
        {L"wrong extension", L"C:\\report.txt", L"File name error!", L"C:\\old.csv"},
        {L"too long", long_path, L"The path of the file is too long (at most 255 characters)!",
         L"C:\\old.csv"},
        {L"upper case", L"C:\\report.XLS", nullptr, L"C:\\report.XLS"},
    };
    const Frame read_history(CMD_READ_HISTORY, CMD_READ_HISTORY + FRAME_BYTES);
    FrameSink console;
    StationDevice device{};
    device.io_handle = console.out;
    station_device = &device;
    const wchar_t *dates[6] = {L"2018", L"09", L"5", L"2019", L"1", L"31"};
    type_dates(dates);
    CheckDlgButton(page, IDC_SET_UV, BST_CHECKED);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        export_request = ExportRequest{};
        wcscpy(reinterpret_cast<wchar_t *>(export_request.file_name), L"C:\\old.csv");
        dialog_answer = c.answer;
        click(IDC_EXPORT);
        const bool accepted = c.stored != std::wstring(L"C:\\old.csv");
        EXPECT_EQ(console.frames(), accepted ? std::vector<Frame>{read_history} : std::vector<Frame>{});
        if (c.message == nullptr) {
            EXPECT_TRUE(shown.empty());
        } else {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, c.message);
            EXPECT_EQ(shown[0].caption, L"ERROR");
        }
        EXPECT_STREQ(reinterpret_cast<wchar_t *>(export_request.file_name), c.stored);
    }
    EXPECT_STREQ(reinterpret_cast<wchar_t *>(export_request.period_start), L"2018-09-5");
    EXPECT_STREQ(reinterpret_cast<wchar_t *>(export_request.period_end), L"2019-1-31");
    for (int flag = 0; flag < 15; ++flag)
        EXPECT_EQ(export_request.data_set[flag], flag == 4) << "flag " << flag << " (4 is UV)";
    station_device = nullptr;
}

TEST_F(ExportGroup, AcceptedExportWipesTheStoreAndReportsAFailedSend)
{
    // Connected without a device handle: the command cannot be written.
    std::memcpy(history_store.slot[0], record, sizeof record - 1);
    std::memcpy(history_store.slot[HISTORY_SLOTS - 1], record, sizeof record - 1);
    const wchar_t *dates[6] = {L"2018", L"09", L"5", L"2019", L"1", L"31"};
    type_dates(dates);
    CheckDlgButton(page, IDC_SET_INDOOR, BST_CHECKED);
    dialog_answer = L"C:\\report.csv";
    click(IDC_EXPORT);

    EXPECT_EQ(dialog_calls, 1);
    EXPECT_EQ(link_flags.history_cancel, 0);
    EXPECT_EQ(history_store.slot[0][0], 0);
    EXPECT_EQ(history_store.slot[HISTORY_SLOTS - 1][0], 0);
    EXPECT_STREQ(reinterpret_cast<wchar_t *>(export_request.file_name), L"C:\\report.csv");
    EXPECT_STREQ(reinterpret_cast<wchar_t *>(export_request.period_start), L"2018-09-5");
    EXPECT_STREQ(reinterpret_cast<wchar_t *>(export_request.period_end), L"2019-1-31");
    EXPECT_EQ(export_request.data_set[1], 1) << "indoor";
    EXPECT_EQ(export_request.data_set[2], 0) << "outdoor";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Command send failed !");
    EXPECT_EQ(shown[0].caption, L"Error");
}

TEST_F(ExportGroup, ExportIsRefusedWhileTheWorkerWritesWhateverClearedTheActiveFlag)
{
    const std::wstring path = temp_file(L"nimbrel-export-busy.csv");
    dashboard_page = make_message_window(L"NimbrelDashboardStandIn", dashboard_stand_in);
    start_worker_on(path, 3);
    // The worker now waits in its last message, which this thread does not answer.
    Sleep(300);
    ASSERT_EQ(export_running(), 1);
    link_flags.history_active = 0; // as the cancel button, a live record or an unplug leave it
    CheckDlgButton(page, IDC_WHOLE_PERIOD, BST_CHECKED);
    CheckDlgButton(page, IDC_SET_UV, BST_CHECKED);
    dialog_answer = L"C:\\second.csv";
    click(IDC_EXPORT);
    EXPECT_EQ(dialog_calls, 0) << "a second export was begun under the running one";
    EXPECT_NE(history_store.slot[0][0], 0) << "the store was wiped under the worker";
    EXPECT_EQ(link_flags.history_requested, 0);

    ASSERT_TRUE(pump_until([] { return export_running() == 0; }));
    EXPECT_EQ(export_results.size(), 1u);
    link_flags.history_active = 0;
    click(IDC_EXPORT);
    EXPECT_EQ(dialog_calls, 1) << "Export stays refused after the worker ended";
    DestroyWindow(dashboard_page);
    dashboard_page = nullptr;
    link_flags.history_requested = 0;
    DeleteFileW(path.c_str());
}

// The save dialog answers messages: a download may begin, or Export be
// pressed again, while it is open.
HWND pressed_page;
int press_again_in_dialog(HWND owner, wchar_t *path, DWORD capacity)
{
    static int inside = 0;
    if (!inside) {
        inside = 1;
        export_group_command(pressed_page, MAKEWPARAM(IDC_EXPORT, BN_CLICKED));
        inside = 0;
    }
    return answer_dialog(owner, path, capacity);
}
int download_begins_in_dialog(HWND owner, wchar_t *path, DWORD capacity)
{
    link_flags.history_active = 1;
    return answer_dialog(owner, path, capacity);
}

TEST_F(ExportGroup, WhatHappensUnderTheSaveDialogIsCheckedWhenItReturns)
{
    const struct {
        const char *name;
        SaveDialogFunction dialog;
        int dialogs; // how many save dialogs open
    } cases[] = {
        {"Export pressed again in the dialog", press_again_in_dialog, 1},
        {"a download begun under the dialog", download_begins_in_dialog, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        dialog_calls = 0;
        link_flags.history_active = 0;
        link_flags.history_requested = 0;
        std::memcpy(history_store.slot[0], record, sizeof record - 1);
        CheckDlgButton(page, IDC_WHOLE_PERIOD, BST_CHECKED);
        CheckDlgButton(page, IDC_SET_UV, BST_CHECKED);
        dialog_answer = L"C:\\report.csv";
        pressed_page = page;
        save_dialog_hook = c.dialog;
        click(IDC_EXPORT);
        EXPECT_EQ(dialog_calls, c.dialogs);
        if (c.dialog == download_begins_in_dialog) {
            // Connected without a device: an accepted export would report the send.
            EXPECT_TRUE(shown.empty()) << "the export went ahead";
            EXPECT_NE(history_store.slot[0][0], 0) << "the running download's store was wiped";
            EXPECT_EQ(link_flags.history_requested, 0);
        }
    }
    link_flags.history_active = 0;
    link_flags.history_requested = 0;
}

} // namespace
