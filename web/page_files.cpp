#include "web/page_files.h"

#include <cstring>

#include "common/json.h"
#include "upload/request.h"

namespace {

const char *const sections[] = {"english", "germany", "france", "italy", "spanish"};

// One language file (UTF-16LE, byte-order mark, "lN=text" lines) as a JSON
// object. The first definition of a key wins, as the Windows program's
// profile reader takes it; "&&" is the captions' way of writing "&".
std::string texts_of(const PageFile &file)
{
    std::u16string text;
    for (std::size_t i = 2; i + 1 < file.size; i += 2)
        text += static_cast<char16_t>(file.bytes[i] | (file.bytes[i + 1] << 8));
    std::string out = "{";
    std::string seen = ",";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t stop = text.find(u'\n', start);
        if (stop == std::u16string::npos)
            stop = text.size();
        std::u16string line = text.substr(start, stop - start);
        start = stop + 1;
        while (!line.empty() && (line.back() == u'\r' || line.back() == u'\t' || line.back() == u' '))
            line.pop_back();
        const std::size_t equals = line.find(u'=');
        if (line.size() < 3 || line[0] != u'l' || equals == std::u16string::npos)
            continue;
        std::u16string value = line.substr(equals + 1);
        for (std::size_t at; (at = value.find(u"&&")) != std::u16string::npos;)
            value.erase(at, 1);
        char key[16] = {}, utf8[1024];
        for (std::size_t i = 0; i < equals && i < sizeof key - 1; ++i)
            key[i] = static_cast<char>(line[i]);
        if (seen.find(std::string(",") + key + ",") != std::string::npos ||
            !utf16_to_utf8(value.c_str(), utf8, sizeof utf8))
            continue;
        seen += std::string(key) + ",";
        if (out.size() > 1)
            out += ',';
        add_json_string(out, key);
        out += ':';
        add_json_string(out, utf8);
    }
    return out + "}";
}

} // namespace

const PageFile *page_file(const std::string &name)
{
    for (int i = 0; i < page_file_count; ++i)
        if (name == page_files[i].name)
            return &page_files[i];
    return nullptr;
}

std::string page_texts_json()
{
    std::string out = "{";
    for (const char *section : sections) {
        const PageFile *file = page_file(std::string(section) + ".ini");
        if (!file)
            continue;
        if (out.size() > 1)
            out += ',';
        add_json_string(out, section);
        out += ':' + texts_of(*file);
    }
    return out + "}";
}
