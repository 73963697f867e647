// Resource ids of nimbrel.exe: strings, icons, bitmaps, dialog templates,
// language texts. Shared by the .rc script and the C++ code.
#pragma once

#define IDS_APP_TITLE 103   // window title "NIMBREL"
#define IDS_WINDOW_CLASS 109 // window class "TARVO"
