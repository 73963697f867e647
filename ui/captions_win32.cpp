#include "ui/captions_win32.h"

#include "ui/languages_win32.h"

void apply_captions(HWND dlg, const Caption *table, int count)
{
    for (int i = 0; i < count; ++i)
        SetDlgItemTextW(dlg, table[i].control, ui_text(table[i].key));
}
