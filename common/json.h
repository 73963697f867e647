// JSON text as the program writes it by hand: the web API, `live --json`,
// the page's texts and the MQTT discovery configs.
#pragma once
#include <string>

// Appends `text` as a JSON string: quotes, backslashes and control bytes
// escaped, every other byte (UTF-8 included) as it is.
void add_json_string(std::string &out, const std::string &text);
