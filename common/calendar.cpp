#include "common/calendar.h"

namespace {

// Floor division: a time before 1970 belongs to the day that started before it.
long long floor_div(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Years counted from March, so that the leap day ends the year; a 400-year
// era repeats exactly (146097 days). 719468 is 1970-01-01 in this count.
void civil_from_days(long long z, int *y, int *m, int *d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

} // namespace

int days_in_month(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month - 1] + (month == 2 && leap);
}

long long days_from_civil(long long year, int month, int day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yoe = year - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t seconds_from_civil(const CivilTime &t)
{
    return days_from_civil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 +
           t.second;
}

CivilTime civil_from_seconds(std::int64_t seconds)
{
    const long long days = floor_div(seconds, 86400);
    const int of_day = static_cast<int>(seconds - days * 86400);
    CivilTime t;
    civil_from_days(days, &t.year, &t.month, &t.day);
    t.hour = of_day / 3600;
    t.minute = of_day / 60 % 60;
    t.second = of_day % 60;
    return t;
}

CivilTime civil_from_minutes(long long minutes) { return civil_from_seconds(minutes * 60); }

int split_date(const std::string &text, std::u16string parts[3])
{
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? text.find('-', start) : text.size();
        if (end == std::string::npos)
            return 0;
        parts[i].clear();
        for (std::size_t k = start; k < end; ++k)
            parts[i] += static_cast<char16_t>(static_cast<unsigned char>(text[k]));
        start = end + 1;
    }
    return 1;
}
