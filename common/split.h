// A list's pieces between separators: "a,,b" is "a", "" and "b"; an empty
// text has none, and a separator at the end starts no further piece.
#pragma once
#include <string>
#include <vector>

inline std::vector<std::string> split_list(const std::string &text, char separator)
{
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(separator, at);
        if (end == std::string::npos)
            end = text.size();
        pieces.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return pieces;
}
