// Finding, opening and writing to the station console. Discovery, the
// device notices and every write from the interface thread run there;
// replies are written from the reader thread. The I/O handle is replaced
// only by the interface thread and always written whole.
#include "station/station_device_win32.h"

#include <dbt.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "station/link_state.h"
#include "station/messages.h"

StationDevice *station_device = nullptr;

namespace {

constexpr std::uint16_t STATION_USAGE_PAGE = 0xFF00;
constexpr std::uint16_t STATION_USAGE = 1;
constexpr wchar_t STATION_NAME_PART[] = L"vid_1941&pid_8021";
constexpr DWORD SEND_WAIT_MS = 1000;

// The simulated console's pipe, when discovery should open it instead.
wchar_t use_path[MAX_PATH];

int usable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

HANDLE open_for_io(const wchar_t *path)
{
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

void close_io_handle(StationDevice *device)
{
    HANDLE old = InterlockedExchangePointer(&device->io_handle, INVALID_HANDLE_VALUE);
    if (usable(old))
        CloseHandle(old);
}

// The old handle (a removed or replaced station) is closed before the new
// one is opened, so a pending read on it ends. A failed open leaves the
// invalid handle, on which the reader waits.
void reopen_io_handle(StationDevice *device, const wchar_t *path)
{
    close_io_handle(device);
    InterlockedExchangePointer(&device->io_handle, open_for_io(path));
}

// The station's own collection among the interfaces with its ids.
int is_station_collection(StationDevice *device)
{
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!HidD_GetPreparsedData(device->query_handle, &data))
        return 0;
    const NTSTATUS status = HidP_GetCaps(data, &device->caps);
    HidD_FreePreparsedData(data);
    return status == HIDP_STATUS_SUCCESS && device->caps.UsagePage == STATION_USAGE_PAGE &&
           device->caps.Usage == STATION_USAGE;
}

// Checks one enumerated interface and opens it for I/O when it is the station.
void try_interface(StationDevice *device, SP_DEVICE_INTERFACE_DATA *interface_data)
{
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(device->device_set, interface_data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return;
    device->detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(std::calloc(1, size));
    if (!device->detail)
        return;
    device->detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (SetupDiGetDeviceInterfaceDetailW(device->device_set, interface_data, device->detail, size,
                                         nullptr, nullptr)) {
        device->query_handle = CreateFileW(device->detail->DevicePath, 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
        HIDD_ATTRIBUTES attributes = {};
        attributes.Size = sizeof attributes;
        if (usable(device->query_handle) && HidD_GetAttributes(device->query_handle, &attributes) &&
            attributes.VendorID == device->vendor_id && attributes.ProductID == device->product_id &&
            is_station_collection(device)) {
            device->found = 1;
            reopen_io_handle(device, device->detail->DevicePath);
        }
        if (usable(device->query_handle))
            CloseHandle(device->query_handle);
        device->query_handle = nullptr;
    }
    std::free(device->detail);
    device->detail = nullptr;
}

int discover_hid(StationDevice *device)
{
    HidD_GetHidGuid(&device->class_guid);
    device->device_set = SetupDiGetClassDevsW(&device->class_guid, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (device->device_set == INVALID_HANDLE_VALUE)
        return 0;
    for (DWORD index = 0; !device->found; ++index) {
        SP_DEVICE_INTERFACE_DATA interface_data = {};
        interface_data.cbSize = sizeof interface_data;
        if (!SetupDiEnumDeviceInterfaces(device->device_set, nullptr, &device->class_guid, index,
                                         &interface_data))
            break;
        try_interface(device, &interface_data);
    }
    SetupDiDestroyDeviceInfoList(device->device_set);
    device->device_set = nullptr;
    return device->found;
}

// Lower-cases the interface name of a notice into `name`, reading no
// further than the notice's own size says.
void notice_name(const DEV_BROADCAST_DEVICEINTERFACE_W *notice, wchar_t *name, std::size_t capacity)
{
    const std::size_t offset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    std::size_t length = 0;
    if (notice->dbcc_size > offset) {
        const std::size_t limit = (notice->dbcc_size - offset) / sizeof(wchar_t);
        while (length < limit && length + 1 < capacity && notice->dbcc_name[length]) {
            const wchar_t c = notice->dbcc_name[length];
            name[length++] = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
        }
    }
    name[length] = 0;
}

} // namespace

void station_device_init(StationDevice *device)
{
    ZeroMemory(device, sizeof *device);
    device->vendor_id = 0x1941;
    device->product_id = 0x8021;
}

int station_device_discover(StationDevice *device)
{
    device->detail = nullptr;
    device->query_handle = nullptr;
    // A discovery that finds nothing must not report an earlier match.
    device->found = 0;
    if (use_path[0]) {
        reopen_io_handle(device, use_path);
        device->found = usable(device->io_handle) ? 1 : 0;
        return device->found;
    }
    return discover_hid(device);
}

void station_device_close(StationDevice *device)
{
    device->found = 0;
    close_io_handle(device);
}

void station_device_use_path(const wchar_t *path)
{
    use_path[0] = 0;
    if (path && std::wcslen(path) < MAX_PATH)
        std::wcscpy(use_path, path);
}

HANDLE station_io_handle()
{
    if (!station_device)
        return INVALID_HANDLE_VALUE;
    return InterlockedCompareExchangePointer(&station_device->io_handle, nullptr, nullptr);
}

int send_command(const std::uint8_t frame[9])
{
    if (link_flags.connected != 1)
        return 1;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event)
        return 0;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event;
    std::uint8_t buffer[9];
    std::memcpy(buffer, frame, sizeof buffer);
    HANDLE h = station_io_handle();
    DWORD written = 0;
    int result = 0;
    if (WriteFile(h, buffer, sizeof buffer, nullptr, &overlapped)) {
        result = 1;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        // A console that takes no command must not freeze the window.
        if (WaitForSingleObject(event, SEND_WAIT_MS) == WAIT_OBJECT_0) {
            result = GetOverlappedResult(h, &overlapped, &written, FALSE) ? 1 : 0;
        } else {
            // The buffer and OVERLAPPED live here: the write must end first.
            CancelIoEx(h, &overlapped);
            GetOverlappedResult(h, &overlapped, &written, TRUE);
        }
    }
    CloseHandle(event);
    return result;
}

HDEVNOTIFY register_device_notices(HWND main_window)
{
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    return RegisterDeviceNotificationW(main_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

LRESULT handle_device_change(HWND main_window, WPARAM wparam, LPARAM lparam)
{
    if (wparam == DBT_DEVNODES_CHANGED)
        return 0;
    if ((wparam & 0xC000) != 0x8000)
        return TRUE;
    if (!lparam)
        return 0;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lparam);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return TRUE;
    wchar_t name[512];
    notice_name(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(lparam), name, 512);
    if (!std::wcsstr(name, STATION_NAME_PART))
        return TRUE;

    if (wparam == DBT_DEVICEARRIVAL) {
        if (station_device && station_device_discover(station_device))
            SendMessageW(main_window, UM_DEVICE_STATE, DEVICE_FOUND, 0);
    } else if (wparam == DBT_DEVICEREMOVECOMPLETE) {
        SendMessageW(main_window, UM_DEVICE_STATE, DEVICE_ABSENT, 0);
        // The disconnect has told the reader to stop; its read on this
        // handle ends with the close, and the handle is never used again.
        if (station_device)
            station_device_close(station_device);
    }
    return TRUE;
}
