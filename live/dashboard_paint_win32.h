// Painting of the DASHBOARD page: the six rounded panel frames, the value
// texts with their unit labels, the wind direction with its compass picture
// and the UV index, all drawn with GDI into the rectangles of the page's
// hidden controls. The page's dialog procedure owns the state and calls
// paint_dashboard between its own BeginPaint and EndPaint.
#pragma once
#include <windows.h>

#include "live/station_record.h"
#include "settings/unit_settings.h"

constexpr int DASHBOARD_AREA_COUNT = 15;
constexpr int COMPASS_PICTURE_COUNT = 17; // 0 the dial, 1 .. 16 pointer at N .. NNW

// The value areas' control ids, in the order of DashboardView::areas.
extern const int dashboard_area_controls[DASHBOARD_AREA_COUNT];
// Position of a value area's control id in that order; -1 for any other id.
int dashboard_area_index(int control);

// Everything a paint reads. Nothing is cached in it between paints except
// the geometry taken once at page creation.
struct DashboardView {
    const LiveValues *values;   // null: frames only
    const UnitSettings *units;  // null: frames only
    int channel;                // 1 .. 7; anything else shows channel 1
    RECT areas[DASHBOARD_AREA_COUNT]; // client coordinates of the page
    HBITMAP compass[COMPASS_PICTURE_COUNT]; // any may be null: skipped
    POINT compass_position;     // top-left corner of the picture
    SIZE compass_size;          // size of picture 1, the rectangle invalidated
};

// Takes the value areas from the page's controls (a missing control leaves
// an empty rectangle) and places the compass picture on area 1183 from the
// size of view->compass[1]. The pictures must be set first.
void measure_dashboard_view(HWND page, DashboardView *view);
// The picture's rectangle, for invalidating it after a live record.
RECT compass_picture_rect(const DashboardView &view);

// Frames, values, wind direction and UV index, in that order. Every GDI
// object selected is put back before the next draw.
void paint_dashboard(HWND page, HDC dc, const DashboardView &view);

// A rounded frame over the hidden control frame_control of page, with the
// divider line(s) its panel has. Frames of the bottom row reach down to one
// pixel above the page's bottom edge. A missing control draws nothing.
void draw_panel_frame(HWND page, HDC dc, int frame_control, COLORREF colour);

// One value: a run of blank_run spaces over the old text, then the text, in
// the value font; left-aligned values get their unit label after the text
// in the unit font (an empty label draws nothing).
void draw_value(HDC dc, const wchar_t *text, const RECT &area, int blank_run, int centred,
                const wchar_t *unit_label);

// Copies picture onto dc at (x, y), leaving out its pixels of the colour
// transparent so that the page shows through there. The picture itself is
// not changed. Returns 0 when nothing could be drawn (null picture).
int draw_transparent(HDC dc, HBITMAP picture, int x, int y, COLORREF transparent);
