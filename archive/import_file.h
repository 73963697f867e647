// Reading back the export files this program writes (UTF-16 as the Windows
// program writes them, or UTF-8 with one-line titles; any units, any data
// sets): each row becomes the station record text the console would have
// sent for it, so that years of exports can join the archive.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/unit_settings.h"

struct ImportedFile {
    UnitSettings units;               // the units its units row names
    int utf16 = 0;                    // 1: UTF-16LE with a byte-order mark
    std::vector<std::string> records; // station record texts, in file order
};

// Reads a whole export file. A reading in the console's own unit is kept
// as written; one in another unit becomes the nearest value the console
// could have sent that exports to the same text; a reading the file lacks
// is written as the console writes a missing one. 0 with the file's line
// (1-based, as a text editor counts them) and a message when the bytes are
// not such a file or a row cannot be read back; `file` is then incomplete
// and must not be used.
int read_export_file(const std::uint8_t *bytes, std::size_t size, ImportedFile *file, long *line,
                     std::string *error);
