#include "app/languages.h"

LanguageTables language_tables;

const char16_t *language_text(int language, int key)
{
    if (language < 0 || language >= LANGUAGE_COUNT || key < 1 || key > LANGUAGE_KEYS)
        return u"";
    return language_tables.text[language][key - 1];
}
