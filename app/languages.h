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
