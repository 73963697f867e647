#include "ui/message_box_win32.h"

MessageBoxFunction message_box_hook;

int show_message(HWND owner, const wchar_t *text, const wchar_t *caption, UINT type)
{
    if (message_box_hook)
        return message_box_hook(owner, text, caption, type);
    return MessageBoxW(owner, text, caption, type);
}
