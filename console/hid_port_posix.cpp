// hidapi over hidraw. The console's reports carry no report id, so hidraw
// hands over 64 bytes and the id byte in front is put back here; a command
// frame's first byte is its report id already.
#include "console/hid_port.h"

#include <hidapi.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct HidPort {
    hid_device *device = nullptr;
    int started = 0;
    std::string absence;  // why the last open failed
};
HidPort hid;

constexpr char NOT_PLUGGED_IN[] = "not plugged in";
constexpr char NO_PERMISSION[] =
    "permission denied: install the udev rule 70-nimbrel.rules (packaging/linux/) and plug "
    "the console in again, or join the group plugdev";

// The library's last error without a device; its texts are ASCII.
std::string library_words()
{
    const wchar_t *words = hid_error(nullptr);
    std::string text;
    for (; words && *words; ++words)
        text += *words < 0x80 ? static_cast<char>(*words) : '?';
    return text.empty() ? "the HID library gave no reason" : text;
}

int failed(const std::string &why)
{
    hid.absence = why;
    return 0;
}

int hid_port_open(void *)
{
    if (!hid.started) {
        if (hid_init() != 0)
            return failed(library_words());
        hid.started = 1;
    }
    if (hid.device)
        return 1;
    hid_device_info *list = hid_enumerate(CONSOLE_VENDOR_ID, CONSOLE_PRODUCT_ID);
    std::vector<HidCandidate> found;
    std::vector<std::string> paths;
    for (const hid_device_info *d = list; d; d = d->next) {
        found.push_back({d->vendor_id, d->product_id, d->usage_page, d->usage});
        paths.emplace_back(d->path ? d->path : "");
    }
    hid_free_enumeration(list);
    const int pick = pick_console_interface(found.data(), found.size());
    if (pick < 0)
        return failed(NOT_PLUGGED_IN);
    errno = 0;
    hid.device = hid_open_path(paths[static_cast<std::size_t>(pick)].c_str());
    if (hid.device)
        return 1;
    const int error = errno;
    const std::string words = library_words();
    if (error == EACCES || error == EPERM || words.find(std::strerror(EACCES)) != std::string::npos)
        return failed(NO_PERMISSION);
    // Unplugged between the listing and the open.
    if (error == ENOENT || error == ENODEV || error == ENXIO)
        return failed(NOT_PLUGGED_IN);
    return failed(words);
}

const char *hid_port_absence(void *) { return hid.absence.c_str(); }

int hid_port_read(void *, std::uint8_t report[REPORT_BYTES], int timeout_ms)
{
    if (!hid.device)
        return PORT_GONE;
    std::memset(report, 0, REPORT_BYTES);
    const int got = hid_read_timeout(hid.device, report + 1, REPORT_BYTES - 1, timeout_ms);
    if (got < 0)
        return PORT_GONE;
    return got == 0 ? PORT_QUIET : PORT_REPORT;
}

int hid_port_write(void *, const std::uint8_t frame[FRAME_BYTES])
{
    return hid.device && hid_write(hid.device, frame, FRAME_BYTES) > 0;
}

void hid_port_close(void *)
{
    if (hid.device)
        hid_close(hid.device);
    hid.device = nullptr;
}

} // namespace

StationPort hid_station_port()
{
    return StationPort{&hid, hid_port_open, hid_port_absence, hid_port_read, hid_port_write, hid_port_close};
}
