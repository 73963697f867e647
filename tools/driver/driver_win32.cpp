// nimbrel_driver.exe: drives a running nimbrel.exe from outside for the
// end-to-end tests, the way a user would: it finds the window, reads what the
// controls show, clicks, chooses items, types, answers message boxes, closes
// the program and reads the registry. One command per call:
//
//   wait-window SECONDS            wait until the main window exists
//   text PAGE CONTROL              print a control's text
//   visible PAGE CONTROL           print 1 or 0
//   click PAGE CONTROL             BN_CLICKED / STN_CLICKED from the control
//   select PAGE CONTROL INDEX      pick a combo box item (CBN_SELCHANGE)
//   check PAGE CONTROL 0|1         untick or tick a check box, then BN_CLICKED
//   type PAGE CONTROL TEXT         set an edit box's text
//   wait-text PAGE CONTROL TEXT SECONDS   wait until the control shows TEXT
//   message-box SECONDS            print the text of a message box and close it
//   save-as PATH SECONDS           wait for the save dialog, enter PATH and save
//   save-dialogs                   print how many save dialogs are open
//   click-when-written FILE PAGE CONTROL SECONDS
//                                  click as soon as FILE changes or a file
//                                  "~NAME.*.tmp" appears beside it (an export
//                                  being written), within SECONDS
//   close                          WM_CLOSE to the main window, wait for the exit
//   registry NAME                  print a stored setting's bytes in hex
//
// PAGE is tabbar, dashboard, setup or statusbar; CONTROL is a control's
// number (scripts take it by its resources/resource.h name from
// tools/resource-ids.bash). Exit status 0 on success.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

// The program's own control ids (the driver is built without its include path).
#include "../../resources/resource.h"

namespace {
HWND main_window()
{
    return FindWindowW(L"TARVO", nullptr);
}

struct PageSearch {
    int signature;
    HWND found;
};

// Each page is known by a control only it has.
HWND find_page(const wchar_t *name)
{
    struct {
        const wchar_t *name;
        int signature;
    } const pages[] = {{L"tabbar", IDC_LANGUAGE},
                       {L"dashboard", IDC_REFRESH},
                       {L"setup", IDC_EXPORT},
                       {L"statusbar", IDC_CONNECTION_TEXT}};
    PageSearch search = {0, nullptr};
    for (const auto &page : pages)
        if (wcscmp(page.name, name) == 0)
            search.signature = page.signature;
    HWND top = main_window();
    if (!top || !search.signature)
        return nullptr;
    EnumChildWindows(
        top,
        [](HWND child, LPARAM data) -> BOOL {
            auto *s = reinterpret_cast<PageSearch *>(data);
            if (GetParent(child) == GetAncestor(child, GA_ROOT) && GetDlgItem(child, s->signature)) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND find_control(const wchar_t *page_name, const wchar_t *control)
{
    HWND page = find_page(page_name);
    return page ? GetDlgItem(page, _wtoi(control)) : nullptr;
}

std::wstring control_text(HWND control)
{
    wchar_t text[1024] = {};
    SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    return text;
}

void print(const std::wstring &text)
{
    // UTF-8 out, so that shell scripts compare texts with accents.
    char out[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
    std::fputs(n > 0 ? out : "", stdout);
    std::fputs("\n", stdout);
}

int command_notify(const wchar_t *page_name, const wchar_t *id, WORD code)
{
    HWND page = find_page(page_name);
    HWND control = page ? GetDlgItem(page, _wtoi(id)) : nullptr;
    if (!control)
        return 2;
    SendMessageTimeoutW(page, WM_COMMAND, MAKEWPARAM(_wtoi(id), code),
                        reinterpret_cast<LPARAM>(control), SMTO_NORMAL, 20000, nullptr);
    return 0;
}

// A dialog of any program on this display holding the given control: the
// end-to-end runs have only Nimbrel on it.
HWND find_dialog_with(int control)
{
    struct Search {
        int control;
        HWND found;
    } search = {control, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto *s = reinterpret_cast<Search *>(data);
            wchar_t name[16] = {};
            GetClassNameW(hwnd, name, 16);
            if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(hwnd) && GetDlgItem(hwnd, s->control)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A message box keeps its text in static 0xFFFF.
HWND find_message_box()
{
    return find_dialog_with(0xFFFF);
}

// The save dialog holds the file-name combo (1148).
HWND find_save_dialog()
{
    return find_dialog_with(1148);
}

int count_save_dialogs()
{
    int count = 0;
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(hwnd, name, 16);
            if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(hwnd) && GetDlgItem(hwnd, 1148))
                ++*reinterpret_cast<int *>(data);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// The Edit that the file-name combo keeps inside it.
HWND find_edit_inside(HWND parent)
{
    HWND found = nullptr;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM data) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(hwnd, name, 16);
            if (wcscmp(name, L"Edit") == 0) {
                *reinterpret_cast<HWND *>(data) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

bool wait_for(double seconds, bool (*ready)(const void *), const void *data, DWORD step_ms = 100)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(step_ms))
        if (ready(data))
            return true;
    return ready(data);
}

int run(int argc, wchar_t **argv)
{
    if (argc < 2)
        return 2;
    const std::wstring verb = argv[1];
    if (verb == L"wait-window" && argc == 3) {
        return wait_for(_wtof(argv[2]), [](const void *) { return main_window() != nullptr; },
                        nullptr)
                   ? 0
                   : 1;
    }
    if (verb == L"text" && argc == 4) {
        HWND control = find_control(argv[2], argv[3]);
        if (!control)
            return 2;
        print(control_text(control));
        return 0;
    }
    if (verb == L"visible" && argc == 4) {
        HWND control = find_control(argv[2], argv[3]);
        if (!control)
            return 2;
        print(IsWindowVisible(control) ? L"1" : L"0");
        return 0;
    }
    if (verb == L"click" && argc == 4)
        return command_notify(argv[2], argv[3], BN_CLICKED);
    if (verb == L"select" && argc == 5) {
        HWND control = find_control(argv[2], argv[3]);
        if (!control)
            return 2;
        SendMessageW(control, CB_SETCURSEL, _wtoi(argv[4]), 0);
        return command_notify(argv[2], argv[3], CBN_SELCHANGE);
    }
    if (verb == L"check" && argc == 5) {
        HWND control = find_control(argv[2], argv[3]);
        if (!control)
            return 2;
        SendMessageW(control, BM_SETCHECK, _wtoi(argv[4]) ? BST_CHECKED : BST_UNCHECKED, 0);
        return command_notify(argv[2], argv[3], BN_CLICKED);
    }
    if (verb == L"type" && argc == 5) {
        HWND control = find_control(argv[2], argv[3]);
        if (!control)
            return 2;
        SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        return 0;
    }
    if (verb == L"wait-text" && argc == 6) {
        struct Want {
            std::wstring page, control, text;
        } want = {argv[2], argv[3], argv[4]};
        bool ok = wait_for(
            _wtof(argv[5]),
            [](const void *data) {
                auto *w = static_cast<const Want *>(data);
                HWND control = find_control(w->page.c_str(), w->control.c_str());
                return control && control_text(control) == w->text;
            },
            &want);
        if (!ok) {
            HWND control = find_control(argv[2], argv[3]);
            print(L"shows: " + (control ? control_text(control) : std::wstring(L"(no control)")));
        }
        return ok ? 0 : 1;
    }
    if (verb == L"message-box" && argc == 3) {
        if (!wait_for(_wtof(argv[2]), [](const void *) { return find_message_box() != nullptr; },
                      nullptr))
            return 1;
        HWND box = find_message_box();
        print(control_text(GetDlgItem(box, 0xFFFF)));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return 0;
    }
    if (verb == L"save-as" && argc == 4) {
        if (!wait_for(_wtof(argv[3]), [](const void *) { return find_save_dialog() != nullptr; },
                      nullptr))
            return 1;
        HWND dialog = find_save_dialog();
        HWND edit = find_edit_inside(GetDlgItem(dialog, 1148));
        if (!edit)
            return 2;
        SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]), SMTO_NORMAL,
                            5000, nullptr);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return 0;
    }
    if (verb == L"click-when-written" && argc == 6) {
        struct Watch {
            std::wstring file, pattern;
            WIN32_FILE_ATTRIBUTE_DATA before;
            BOOL existed;
        } watch;
        watch.file = argv[2];
        const std::size_t slash = watch.file.find_last_of(L"\\/");
        const std::size_t name = slash == std::wstring::npos ? 0 : slash + 1;
        watch.pattern = watch.file.substr(0, name) + L"~" + watch.file.substr(name) + L".*.tmp";
        watch.existed = GetFileAttributesExW(watch.file.c_str(), GetFileExInfoStandard, &watch.before);
        // Found first: the file may take only a few milliseconds to write.
        HWND page = find_page(argv[3]);
        HWND control = page ? GetDlgItem(page, _wtoi(argv[4])) : nullptr;
        if (!control)
            return 2;
        const bool seen = wait_for(
            _wtof(argv[5]),
            [](const void *data) {
                auto *w = static_cast<const Watch *>(data);
                WIN32_FIND_DATAW found;
                HANDLE search = FindFirstFileW(w->pattern.c_str(), &found);
                if (search != INVALID_HANDLE_VALUE) {
                    FindClose(search);
                    return true;
                }
                WIN32_FILE_ATTRIBUTE_DATA now;
                const BOOL exists = GetFileAttributesExW(w->file.c_str(), GetFileExInfoStandard, &now);
                if (exists != w->existed)
                    return true;
                return exists && (now.nFileSizeLow != w->before.nFileSizeLow ||
                                  CompareFileTime(&now.ftLastWriteTime, &w->before.ftLastWriteTime) != 0);
            },
            &watch, 0);
        if (!seen)
            return 1;
        SendMessageTimeoutW(page, WM_COMMAND, MAKEWPARAM(_wtoi(argv[4]), BN_CLICKED),
                            reinterpret_cast<LPARAM>(control), SMTO_NORMAL, 20000, nullptr);
        return 0;
    }
    if (verb == L"save-dialogs" && argc == 2) {
        print(std::to_wstring(count_save_dialogs()));
        return 0;
    }
    if (verb == L"close" && argc == 2) {
        // A refusal says which step failed: the scripts show it with their own.
        HWND top = main_window();
        if (!top) {
            std::fprintf(stderr, "close: no main window\n");
            return 1;
        }
        DWORD process_id = 0;
        GetWindowThreadProcessId(top, &process_id);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
        const DWORD open_error = process ? 0 : GetLastError();
        PostMessageW(top, WM_CLOSE, 0, 0);
        if (!process) {
            std::fprintf(stderr, "close: process %lu cannot be waited for (error %lu)\n",
                         static_cast<unsigned long>(process_id), static_cast<unsigned long>(open_error));
            return 1;
        }
        const DWORD waited = WaitForSingleObject(process, 20000);
        CloseHandle(process);
        if (waited != WAIT_OBJECT_0)
            std::fprintf(stderr, "close: process %lu still runs 20 s after WM_CLOSE\n",
                         static_cast<unsigned long>(process_id));
        return waited == WAIT_OBJECT_0 ? 0 : 1;
    }
    if (verb == L"registry" && argc == 3) {
        std::wstring path = std::wstring(L"Software\\Corvalen\\VID_1941&PID_8021\\") + argv[2];
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 1;
        BYTE bytes[512];
        DWORD size = sizeof bytes;
        LONG result = RegQueryValueExW(key, argv[2], nullptr, nullptr, bytes, &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS)
            return 1;
        for (DWORD i = 0; i < size; ++i)
            std::printf("%02x", bytes[i]);
        std::printf("\n");
        return 0;
    }
    return 2;
}
} // namespace

int wmain(int argc, wchar_t **argv)
{
    return run(argc, argv);
}
