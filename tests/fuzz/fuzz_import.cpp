// Any bytes as an export file to import: no fault; every record made is a
// station record the archive can take (36 tokens, no zero byte, shorter
// than a record slot); the file the writer makes of the records imports to
// records that it writes as the very same file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/import_file.h"
#include "history/export_writer.h"

namespace {

int take(void *context, const std::uint8_t *bytes, std::size_t size)
{
    static_cast<std::vector<std::uint8_t> *>(context)->insert(
        static_cast<std::vector<std::uint8_t> *>(context)->end(), bytes, bytes + size);
    return 1;
}

// The file the writer makes of a file's records, in its units.
std::vector<std::uint8_t> export_of(const ImportedFile &file)
{
    std::vector<std::uint8_t> exported;
    const ByteSink sink{&exported, take};
    static ExportRequest request;
    request.whole_period = 1;
    for (int &set : request.data_set)
        set = 1;
    static ExportWorkspace work;
    write_export_header(sink, file.units);
    for (const std::string &record : file.records) {
        int spaces = 0;
        for (char c : record)
            spaces += c == ' ';
        if (spaces != 35 || record.size() >= RECORD_BYTES || record.find('\0') != std::string::npos)
            std::abort();
        std::uint8_t slot[RECORD_BYTES] = {};
        record.copy(reinterpret_cast<char *>(slot), RECORD_BYTES - 1);
        write_record_row(sink, slot, request, file.units, &work);
    }
    return exported;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static ImportedFile file, again;
    long line = 0;
    std::string error;
    if (!read_export_file(data, size, &file, &line, &error)) {
        if (line < 1 || error.empty())
            std::abort();
        return 0;
    }
    const std::vector<std::uint8_t> written = export_of(file);
    if (!read_export_file(written.data(), written.size(), &again, &line, &error) ||
        export_of(again) != written)
        std::abort();
    return 0;
}
