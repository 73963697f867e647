// Upload state per service, in upload_services' order. None of
// it is stored: both services start switched off on every run.
#pragma once
#include <atomic>

#include "upload/service_table.h"

struct UploadState {
    int auto_upload[UPLOAD_SERVICE_COUNT];    // 1 while the user has "Auto Upload" on
    int upload_status[UPLOAD_SERVICE_COUNT];  // 0 nothing shown, 1 UPLOAD, 2 FAIL
    int upload_ok_count[UPLOAD_SERVICE_COUNT]; // positive replies since the last status tick
};

extern UploadState upload_state;

// Bumped by the interface thread whenever a service's uploads stop
// counting: "Auto Upload" switched on or off (the ID and key can change only
// in between), a disconnect. A request carries the round it was built in
// and is sent all the same; the page ignores the success report of an
// older round, so that no UPLOAD shows for what no longer counts.
extern std::atomic<unsigned> upload_round[UPLOAD_SERVICE_COUNT];
