// The station console as a Win32 device: discovery through SetupAPI and the
// HID functions, the overlapped I/O handle, the send operation, device
// notices. The simulated console is reached through the same handle: a
// named-pipe path opened with the same flags; only discovery differs.
#pragma once
#include <windows.h>
#include <setupapi.h>
// MinGW's HID headers lack the C linkage guards of the Windows SDK ones.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <cstdint>

struct StationDevice {
    HIDP_CAPS caps;
    SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail;
    HANDLE query_handle;
    HDEVINFO device_set;
    GUID class_guid;
    std::uint8_t found;
    HANDLE io_handle;          // 0 before the first match, INVALID_HANDLE_VALUE after Close
    std::uint32_t vendor_id;   // 0x1941
    std::uint32_t product_id;  // 0x8021
};

// The single device record of the process (null until start-up creates it).
extern StationDevice *station_device;

void station_device_init(StationDevice *device);
// Finds, checks and opens the station; returns the found flag (0 or 1).
// A previously opened handle is closed before a new one is opened.
int station_device_discover(StationDevice *device);
void station_device_close(StationDevice *device);

// When set, discovery opens this path (the simulated console's pipe)
// instead of searching the HID interfaces. Null restores HID discovery.
void station_device_use_path(const wchar_t *path);

// The station's current I/O handle, read whole: the reader thread asks for
// it before every read while the interface thread may replace it.
HANDLE station_io_handle();

// Writes one 9-byte command report; non-zero on success. While the station
// is not connected nothing is written and the result is success.
int send_command(const std::uint8_t frame[9]);

// Device notices for the HID interface class, on the main window.
HDEVNOTIFY register_device_notices(HWND main_window);
// The main window's WM_DEVICECHANGE handler; sends UM_DEVICE_STATE. The
// interface name of a DEV_BROADCAST_DEVICEINTERFACE_W is read only within
// its dbcc_size, which must cover the name as the system's notices do.
// After a removal of the station its handle is closed.
LRESULT handle_device_change(HWND main_window, WPARAM wparam, LPARAM lparam);
