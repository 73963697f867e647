// Any bytes as a station record, decoded and every slot shown as every kind
// in unit settings taken from the first bytes (damaged values included).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "live/station_record.h"
#include "live/units.h"

namespace {

void check_text(const FormattedText &f)
{
    if (f.text[31] != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    UnitSettings units;
    if (size >= 6) {
        units = UnitSettings{data[0], data[1], data[2], data[3], data[4], data[5]};
        data += 6;
        size -= 6;
    }
    LiveValues values;
    decode_station_record_n(reinterpret_cast<const char *>(data), size, &values);
    const ReadingKind kinds[] = {ReadingKind::temperature, ReadingKind::humidity,
                                 ReadingKind::pressure, ReadingKind::wind_speed,
                                 ReadingKind::rain_amount, ReadingKind::rain_rate,
                                 ReadingKind::direction, ReadingKind::text};
    for (int k = 0; k < TOKEN_COUNT; ++k) {
        if (values.slot[k][TOKEN_UNITS] != 0)
            std::abort();
        for (ReadingKind kind : kinds) {
            FormattedText shown;
            if (dashboard_value_text(kind, values.slot[k], units, &shown))
                check_text(shown);
            check_text(export_cell_text(kind, values.slot[k], units));
            (void)value_label(kind, values.slot[k], units);
            (void)export_caption(kind, units);
        }
        const int index = direction_index(values.slot[k], units.direction_style);
        if (index < 0 || index > 16)
            std::abort();
    }
    return 0;
}
