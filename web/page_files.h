// The page's files, compiled into the binary by the build (web/embed.cmake):
// the page, its script and style, the chart library and the five language
// files whose texts the page shows.
#pragma once
#include <cstddef>
#include <string>

struct PageFile {
    const char *name;          // "index.html", "app.js", "english.ini" ...
    const char *content_type;
    const unsigned char *bytes;
    std::size_t size;
};

extern const PageFile page_files[];
extern const int page_file_count;

// The file of that name, or null.
const PageFile *page_file(const std::string &name);

// The five language files' texts as one JSON object, language section to
// key to UTF-8 text: {"english":{"l1":"English",...},...}.
std::string page_texts_json();
