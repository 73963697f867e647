// Language captions: one table per page from control id to text key,
// applied in one routine at creation and on every language change.
#pragma once
#include <windows.h>

struct Caption {
    int control;
    int key; // l1 .. l69
};

void apply_captions(HWND dlg, const Caption *table, int count);
