// Start-up extraction of the five language resources to the temporary
// folder and loading of the tables with the profile-string reader.
#pragma once
#include <windows.h>

// Writes "english1.ini" .. "spanish1.ini" and loads the five tables. A
// missing or too long temporary folder leaves the tables empty.
void install_languages(HINSTANCE instance);

// The current language's text for a key, as a wide string for Win32 calls.
const wchar_t *ui_text(int key);
