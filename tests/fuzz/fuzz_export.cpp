// Any bytes as a history slot, the unit settings, the data-set flags and
// the typed period: the row written must end in its line feed, hold at
// least 33 cells (a token may carry a tab of its own) and stay inside the
// row buffer; the date checks must not fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "history/export_checks.h"
#include "history/export_writer.h"

namespace {

struct Counted {
    std::size_t bytes;
    int tabs;
    int ends_in_line_feed;
};

int count(void *context, const std::uint8_t *bytes, std::size_t size)
{
    auto *c = static_cast<Counted *>(context);
    c->bytes += size;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        c->tabs += bytes[i] == '\t' && bytes[i + 1] == 0;
        c->ends_in_line_feed = bytes[i] == '\n' && bytes[i + 1] == 0;
    }
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 8 + 6 * 4)
        return 0;
    const UnitSettings units{data[0], data[1], data[2], data[3], data[4], data[5]};
    int sets[15];
    for (int i = 0; i < 15; ++i)
        sets[i] = (data[6 | (i >> 3)] >> (i & 7)) & 1;
    data += 8;
    size -= 8;

    // Six date fields of four units each, taken as typed (zeros end them).
    char16_t fields[6][5] = {};
    for (int f = 0; f < 6; ++f)
        for (int i = 0; i < 4; ++i)
            fields[f][i] = static_cast<char16_t>(data[f * 4 + i]);
    data += 24;
    size -= 24;
    static ExportRequest request;
    const DateFields typed{{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]}};
    check_export_fields(0, typed, sets, request);
    request.whole_period = 0;

    std::uint8_t slot[RECORD_BYTES] = {};
    std::memcpy(slot, data, size < RECORD_BYTES ? size : RECORD_BYTES);
    static ExportWorkspace work;
    Counted counted{};
    if (!write_record_row(ByteSink{&counted, &count}, slot, request, units, &work))
        std::abort();
    if (counted.bytes != 0 && (!counted.ends_in_line_feed || counted.tabs < EXPORT_COLUMNS - 1))
        std::abort();
    if (counted.bytes > sizeof work.bytes)
        std::abort();
    return 0;
}
