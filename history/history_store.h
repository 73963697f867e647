// The history store filled by a download and the export request that
// travels with it. Both are single static blocks for the whole run.
#pragma once
#include <cstdint>

constexpr int HISTORY_SLOTS = 60000;
constexpr int RECORD_BYTES = 450;

// Slot k holds the k-th stored history record, zero-terminated text; a
// slot whose first byte is zero holds nothing.
struct HistoryStore {
    std::uint8_t slot[HISTORY_SLOTS][RECORD_BYTES];
};

struct ExportRequest {
    char16_t file_name[256];    // empty until the first accepted Export
    char16_t period_start[64];  // "year-month-day" as typed
    char16_t period_end[64];
    int whole_period;
    // barometric pressure, indoor, outdoor, rain, UV index, wind, dew point,
    // heat index, CH1 .. CH7
    int data_set[15];
};

extern HistoryStore history_store;
extern ExportRequest export_request;

// Wipes all slots (only while no download or export is running).
void clear_history_store(HistoryStore &store);
