// The five language tables: 69 texts of up to 259 characters per language,
// looked up by language index and key number (key "l1" .. "l69").
#pragma once

constexpr int LANGUAGE_COUNT = 5;
constexpr int LANGUAGE_KEYS = 69;
constexpr int LANGUAGE_TEXT_CHARS = 260;

struct LanguageTables {
    char16_t text[LANGUAGE_COUNT][LANGUAGE_KEYS][LANGUAGE_TEXT_CHARS];
};

extern LanguageTables language_tables;

// Entry (language, key); an empty text for a missing key or an index out
// of range, never null.
const char16_t *language_text(int language, int key);

// Where each language travels: its custom resource, the ini section that
// holds its keys and the file it is written to in the temporary folder.
struct LanguageFile {
    const char16_t *resource_type;
    int resource_id;
    const char16_t *section;
    const char16_t *file_name;
};
extern const LanguageFile LANGUAGE_FILES[LANGUAGE_COUNT];

constexpr int LANGUAGE_PATH_CHARS = 260;

// The temporary folder as the system gives it, cut at its last backslash,
// then one backslash and the file name. 1, or 0 when the folder has no
// backslash or the path would not fit in LANGUAGE_PATH_CHARS with its NUL
// (path is then empty).
int build_language_path(const char16_t *temp_folder, const char16_t *file_name,
                        char16_t path[LANGUAGE_PATH_CHARS]);
