#include "ui/shared_drawing_win32.h"

SharedDrawing shared_drawing;

namespace {
struct FontSpec {
    int height;
    int weight;
};
constexpr FontSpec font_specs[SHARED_FONT_COUNT] = {
    {24, 700}, {22, 0}, {36, 500}, {15, 0}, {25, 500},
    {16, 600}, {16, 0}, {34, 500}, {15, 700},
};
} // namespace

void create_shared_drawing()
{
    shared_drawing.page_colour = GetSysColor(COLOR_BTNHIGHLIGHT);
    if (!shared_drawing.page_brush)
        shared_drawing.page_brush = CreateSolidBrush(shared_drawing.page_colour);
    for (int i = 0; i < SHARED_FONT_COUNT; ++i) {
        if (shared_drawing.fonts[i])
            continue;
        shared_drawing.fonts[i] =
            CreateFontW(font_specs[i].height, 0, 0, 0, font_specs[i].weight, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial");
    }
}

void delete_shared_drawing()
{
    if (shared_drawing.page_brush)
        DeleteObject(shared_drawing.page_brush);
    for (HFONT &font : shared_drawing.fonts) {
        if (font)
            DeleteObject(font);
        font = nullptr;
    }
    shared_drawing.page_brush = nullptr;
}

INT_PTR page_background(HDC dc)
{
    if (!shared_drawing.page_brush)
        return 0;
    SetBkColor(dc, shared_drawing.page_colour);
    return reinterpret_cast<INT_PTR>(shared_drawing.page_brush);
}

INT_PTR transparent_text(HDC dc, COLORREF colour)
{
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    return reinterpret_cast<INT_PTR>(shared_drawing.page_brush);
}

RECT child_rect(HWND dlg, int control)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(dlg, control), &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

SIZE bitmap_size(HBITMAP bitmap)
{
    BITMAP info = {};
    if (bitmap && GetObjectW(bitmap, sizeof info, &info))
        return {info.bmWidth, info.bmHeight};
    return {0, 0};
}

void stretch_bitmap(HDC dc, HBITMAP bitmap, SIZE source, const RECT &target)
{
    if (!bitmap)
        return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    StretchBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
               memory, 0, 0, source.cx, source.cy, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}
