#include "history/export_checks.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr int field_limits[6] = {4, 2, 2, 4, 2, 2};
constexpr int lowest_end_year = 2017;

int length_of(const char16_t *text)
{
    int n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

// A field as the page holds it: at most its limit, the rest ignored.
struct Field {
    char16_t text[5];
};

Field read_field(const char16_t *text, int limit)
{
    Field field{};
    for (int i = 0; i < limit && text != nullptr && text[i] != 0; ++i)
        field.text[i] = text[i];
    return field;
}

void join_date(const Field &year, const Field &month, const Field &day, char16_t out[64])
{
    std::memset(out, 0, 64 * sizeof(char16_t));
    int n = 0;
    for (const Field *part : {&year, &month, &day}) {
        if (n > 0)
            out[n++] = u'-';
        for (int i = 0; part->text[i] != 0; ++i)
            out[n++] = part->text[i];
    }
}

// A pasted text can put other characters into a digits-only field; the
// date filter could not read them, so they are refused here.
int all_digits(const Field &field)
{
    for (int i = 0; field.text[i] != 0; ++i)
        if (field.text[i] < u'0' || field.text[i] > u'9')
            return 0;
    return 1;
}

const char16_t *judge_month_day(const Field &month, const Field &day)
{
    const int m = field_number(month.text);
    if (m < 1 || m > 12 || !all_digits(month))
        return u"Month input error !";
    const int d = field_number(day.text);
    if (d < 1 || d > 31 || !all_digits(day))
        return u"Day input error !";
    return nullptr;
}

char16_t lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

int ends_with(const char16_t *path, int length, const char16_t *suffix)
{
    for (int i = 0; i < 4; ++i)
        if (lower(path[length - 4 + i]) != suffix[i])
            return 0;
    return 1;
}

} // namespace

int field_number(const char16_t *text)
{
    while (*text == u' ' || (*text >= u'\t' && *text <= u'\r'))
        ++text;
    int negative = 0;
    if (*text == u'+' || *text == u'-')
        negative = *text++ == u'-';
    long value = 0;
    // Fields hold four characters at most; the cap only keeps a longer text
    // from overflowing.
    for (; *text >= u'0' && *text <= u'9'; ++text)
        if (value < 100000000)
            value = value * 10 + (*text - u'0');
    return static_cast<int>(negative ? -value : value);
}

const char16_t *check_export_fields(int whole_period, const DateFields &fields,
                                    const int data_set[15], ExportRequest &request)
{
    request.whole_period = whole_period == 1 ? 1 : 0;
    if (request.whole_period == 0) {
        // Zeroed first: GCC 12 at -O3 for 32-bit ARM cannot see that the
        // loop fills every field, and warns.
        Field f[6] = {};
        for (int i = 0; i < 6; ++i)
            f[i] = read_field(fields.text[i], field_limits[i]);

        // The start year is judged by its length, the end year by its value.
        if (length_of(f[0].text) < 4 || !all_digits(f[0]))
            return u"Year input error !";
        if (const char16_t *message = judge_month_day(f[1], f[2]))
            return message;
        join_date(f[0], f[1], f[2], request.period_start);

        if (field_number(f[3].text) < lowest_end_year || !all_digits(f[3]))
            return u"Year input error !";
        if (const char16_t *message = judge_month_day(f[4], f[5]))
            return message;
        join_date(f[3], f[4], f[5], request.period_end);
    }
    for (int i = 0; i < 15; ++i)
        request.data_set[i] = data_set[i] == 1 ? 1 : 0;
    return nullptr;
}

const char16_t *check_export_file_name(const char16_t *path)
{
    const int length = length_of(path);
    if (length < 4 || !(ends_with(path, length, u".csv") || ends_with(path, length, u".xls")))
        return u"File name error!";
    if (length > EXPORT_PATH_UNITS)
        return u"The path of the file is too long (at most 255 characters)!";
    return nullptr;
}

void store_export_file_name(const char16_t *path, ExportRequest &request)
{
    std::memset(request.file_name, 0, sizeof request.file_name);
    for (int i = 0; i < EXPORT_PATH_UNITS && path[i] != 0; ++i)
        request.file_name[i] = path[i];
}
