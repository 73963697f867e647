// Upload state per service (0 Weather Underground, 1 Weathercloud). None of
// it is stored: both services start switched off on every run.
#pragma once
#include <atomic>

struct UploadState {
    int auto_upload[2];     // 1 while the user has "Auto Upload" on
    int upload_status[2];   // 0 nothing shown, 1 UPLOAD, 2 FAIL
    int upload_ok_count[2]; // positive replies since the last status tick
};

extern UploadState upload_state;

// Bumped by the interface thread whenever a service's uploads stop
// counting: "Auto Upload" switched on or off (the ID and key can change only
// in between), a disconnect. A request carries the round it was built in;
// the worker drops a queued request of an older round and the page ignores
// its success report, so that no UPLOAD shows for what no longer counts.
extern std::atomic<unsigned> upload_round[2];
