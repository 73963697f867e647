// Upload state per service (0 Weather Underground, 1 Weathercloud). None of
// it is stored: both services start switched off on every run.
#pragma once

struct UploadState {
    int auto_upload[2];     // 1 while the user has "Auto Upload" on
    int upload_status[2];   // 0 nothing shown, 1 UPLOAD, 2 FAIL
    int upload_ok_count[2]; // positive replies since the last status tick
};

extern UploadState upload_state;
