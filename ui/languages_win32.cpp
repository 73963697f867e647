// The language texts travel inside the executable; at every start each is
// written to the temporary folder and read back key by key with the
// profile-string reader, which understands UTF-16 ini files.
#include "ui/languages_win32.h"

#include <cstring>
#include <cwchar>

#include "ui/app_state.h"
#include "ui/languages.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UI text is UTF-16");

static const wchar_t *wide(const char16_t *text) { return reinterpret_cast<const wchar_t *>(text); }

// The resource bytes unchanged, byte-order mark included. 1 when the whole
// text reached the file.
static int write_language_file(HINSTANCE instance, const LanguageFile &language,
                               const wchar_t *path)
{
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(language.resource_id),
                                wide(language.resource_type));
    if (!found)
        return 0;
    HGLOBAL loaded = LoadResource(instance, found);
    const void *bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(instance, found);
    if (!bytes)
        return 0;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes, size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok ? 1 : 0;
}

// A missing key or file gives an empty entry.
static void load_language_table(int language, const wchar_t *path)
{
    for (int key = 1; key <= LANGUAGE_KEYS; ++key) {
        wchar_t name[8];
        std::swprintf(name, 8, L"l%d", key);
        GetPrivateProfileStringW(wide(LANGUAGE_FILES[language].section), name, L"",
                                 reinterpret_cast<wchar_t *>(language_tables.text[language][key - 1]),
                                 LANGUAGE_TEXT_CHARS, path);
    }
}

void install_languages(HINSTANCE instance)
{
    std::memset(&language_tables, 0, sizeof language_tables);

    // A folder that does not fit the buffer is as good as none: the
    // captions stay empty and the program runs on.
    wchar_t folder[LANGUAGE_PATH_CHARS];
    DWORD length = GetTempPathW(LANGUAGE_PATH_CHARS, folder);
    if (length == 0 || length >= LANGUAGE_PATH_CHARS)
        return;

    char16_t paths[LANGUAGE_COUNT][LANGUAGE_PATH_CHARS];
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        if (build_language_path(reinterpret_cast<const char16_t *>(folder),
                                LANGUAGE_FILES[i].file_name, paths[i]))
            write_language_file(instance, LANGUAGE_FILES[i], wide(paths[i]));
    }
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        if (paths[i][0] != 0)
            load_language_table(i, wide(paths[i]));
    }
}

const wchar_t *ui_text(int key) { return wide(language_text(language_index, key)); }
