#include "ui/languages.h"

#include "resources/resource.h"

LanguageTables language_tables;

const LanguageFile LANGUAGE_FILES[LANGUAGE_COUNT] = {
    {u"ENGLISH", IDR_LANG_ENGLISH, u"english", u"english1.ini"},
    {u"GERMANY", IDR_LANG_GERMAN, u"germany", u"germany1.ini"},
    {u"FRANCE", IDR_LANG_FRENCH, u"france", u"france1.ini"},
    {u"ITALY", IDR_LANG_ITALIAN, u"italy", u"italy1.ini"},
    {u"SPANISH", IDR_LANG_SPANISH, u"spanish", u"spanish1.ini"},
};

const char16_t *language_text(int language, int key)
{
    if (language < 0 || language >= LANGUAGE_COUNT || key < 1 || key > LANGUAGE_KEYS)
        return u"";
    return language_tables.text[language][key - 1];
}

int build_language_path(const char16_t *temp_folder, const char16_t *file_name,
                        char16_t path[LANGUAGE_PATH_CHARS])
{
    path[0] = 0;
    int cut = -1;
    for (int i = 0; temp_folder[i] != 0; ++i) {
        if (i >= LANGUAGE_PATH_CHARS)
            return 0;
        if (temp_folder[i] == u'\\')
            cut = i;
    }
    int name_length = 0;
    while (file_name[name_length] != 0)
        ++name_length;
    if (cut < 0 || cut + 1 + name_length >= LANGUAGE_PATH_CHARS)
        return 0;
    int n = 0;
    for (; n <= cut; ++n)
        path[n] = temp_folder[n];
    for (int i = 0; i < name_length; ++i)
        path[n++] = file_name[i];
    path[n] = 0;
    return 1;
}
