// Window messages that the threads and windows of Nimbrel exchange, with
// the meaning of their parameters. A number is read by its receiver:
// 32871 is UM_LOGGER_TEXT to the status bar and UM_WU_UPLOAD_OK to the
// EXPORT & SETUP page.
#pragma once

constexpr unsigned UM_DEVICE_STATE = 32869;     // wParam DEVICE_FOUND / DEVICE_ABSENT
constexpr unsigned UM_LOGGER_TEXT = 32871;      // lParam: wide text; shown with "%"
constexpr unsigned UM_WU_UPLOAD_OK = 32871;     // Weather Underground said "success"
constexpr unsigned UM_SHOW_PAGE = 32872;        // wParam PAGE_DASHBOARD / PAGE_SETUP
constexpr unsigned UM_LIVE_RECORD = 32873;      // lParam: 450-byte station record
constexpr unsigned UM_DEVICE_LOST = 32874;      // to the dashboard, no parameters
constexpr unsigned UM_EXPORT_DONE = 32875;      // lParam EXPORT_ENDED / EXPORT_FAILED
constexpr unsigned UM_STAMP_READ_TIME = 32876;  // dashboard to itself
constexpr unsigned UM_HISTORY_COMPLETE = 32877; // reader to dashboard
constexpr unsigned UM_WU_REQUEST = 32878;       // posted to the upload thread; wParam: request
constexpr unsigned UM_WU_BODY = 32879;          // lParam: 1024-byte body buffer
constexpr unsigned UM_HISTORY_START = 32880;    // lParam: history_total
constexpr unsigned UM_HISTORY_PROGRESS = 32881; // lParam: pages accounted for
constexpr unsigned UM_HISTORY_END = 32882;      // to the status bar
constexpr unsigned UM_NO_HISTORY = 32883;       // reader to dashboard
constexpr unsigned UM_TIME_SYNC = 32885;        // reader to dashboard
constexpr unsigned UM_LANG_TABBAR = 32886;
constexpr unsigned UM_LANG_DASHBOARD = 32887;
constexpr unsigned UM_LANG_SETUP = 32888;
constexpr unsigned UM_LANG_STATUSBAR = 32889;
constexpr unsigned UM_WC_BODY = 32890;          // lParam: 1024-byte body buffer
constexpr unsigned UM_WC_UPLOAD_OK = 32891;     // Weathercloud said "200"
constexpr unsigned UM_WC_REQUEST = 32892;       // posted to the upload thread; wParam: request

// wParam of UM_DEVICE_STATE
constexpr unsigned DEVICE_FOUND = 4;
constexpr unsigned DEVICE_ABSENT = 5;
// wParam of UM_SHOW_PAGE
constexpr unsigned PAGE_DASHBOARD = 1;
constexpr unsigned PAGE_SETUP = 2;
// lParam of UM_EXPORT_DONE
constexpr long EXPORT_ENDED = 12;
constexpr long EXPORT_FAILED = 13;
