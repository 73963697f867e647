// Colours, brush and fonts shared by the four child dialogs. The tab bar,
// the first page created, makes them; it deletes them when it goes.
#pragma once
#include <windows.h>

enum SharedFont {
    FONT_TITLE,     // 24, bold: panel titles, setup headings
    FONT_LABEL,     // 22: dashboard item labels
    FONT_VALUE,     // 36, medium: dashboard values
    FONT_SMALL,     // 15
    FONT_UNIT,      // 25, medium: unit labels
    FONT_TAB,       // 16, semi-bold: tab labels, setup sub-headings
    FONT_NORMAL,    // 16
    FONT_DIRECTION, // 34, medium: wind direction
    FONT_COMBO,     // 15, bold: language chooser, narrow tab label
    SHARED_FONT_COUNT
};

struct SharedDrawing {
    COLORREF page_colour;
    HBRUSH page_brush; // null until the tab bar exists
    HFONT fonts[SHARED_FONT_COUNT];
};

extern SharedDrawing shared_drawing;

void create_shared_drawing();
void delete_shared_drawing();

// The answer to WM_CTLCOLORDLG and to statics without colours of their
// own: the page colour on the page brush. Null (default handling) while the
// brush does not exist.
INT_PTR page_background(HDC dc);
// Transparent text of the given colour on the page brush.
INT_PTR transparent_text(HDC dc, COLORREF colour);

// A child control's rectangle in its dialog's client coordinates.
RECT child_rect(HWND dlg, int control);
// Width and height of a bitmap; 0 x 0 for a null or unreadable one.
SIZE bitmap_size(HBITMAP bitmap);
// Copies a whole bitmap of the given size onto target, stretched; the face
// of an owner-drawn button. A null bitmap draws nothing.
void stretch_bitmap(HDC dc, HBITMAP bitmap, SIZE source, const RECT &target);
