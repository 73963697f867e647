// Resource ids of nimbrel.exe: strings, icons, bitmaps, dialog templates,
// controls and language texts. Shared by the .rc script and the C++ code.
#pragma once

// Strings
#define IDS_APP_TITLE 103    // window title "NIMBREL"
#define IDS_WINDOW_CLASS 109 // window class "TARVO"

// Dialog templates
#define IDD_DASHBOARD 101
#define IDD_TABBAR 129
#define IDD_STATUSBAR 130
#define IDD_SETUP 131

// Icons
#define IDI_APP 107           // sun and rain cloud
#define IDI_RAIN 144
#define IDI_CONNECTED 146     // blue dot
#define IDI_THERMOMETER 147
#define IDI_INDEX 152
#define IDI_WIND 153
#define IDI_ARROW_LEFT 154
#define IDI_ARROW_RIGHT 159
#define IDI_MEMORY 160        // memory chip
#define IDI_NOT_CONNECTED 168 // red dot
#define IDI_UPLOAD_FAIL 182
#define IDI_UPLOAD_OK 183

// Bitmaps (168 is both an icon and a bitmap: the types differ)
#define IDB_HELP 168
#define IDB_HELP_PRESSED 169
#define IDB_CANCEL 179
#define IDB_REFRESH 180
#define IDB_REFRESH_PRESSED 181
#define IDB_COMPASS_FIRST 1232 // 1232 dial, 1233 .. 1248 pointer N .. NNW

// Tab bar (template 129)
#define IDC_TAB_DASHBOARD 1035
#define IDC_TAB_SETUP 1037
#define IDC_HELP_BUTTON 1007
#define IDC_TAB_SPARE 1008
#define IDC_LANGUAGE 1017

// Status bar (template 130)
#define IDC_LOGGER_LABEL 1249
#define IDC_LOGGER_AREA 1116
#define IDC_MEMORY_ICON 1118
#define IDC_CONNECTION_TEXT 1199
#define IDC_CONNECTION_ICON 1002
#define IDC_CANCEL_DOWNLOAD 1011
#define IDC_PROGRESS_AREA 1012

// Language resources: custom types "ENGLISH" .. "SPANISH"
#define IDR_LANG_ENGLISH 209
#define IDR_LANG_GERMAN 217
#define IDR_LANG_FRENCH 208
#define IDR_LANG_ITALIAN 218
#define IDR_LANG_SPANISH 196
