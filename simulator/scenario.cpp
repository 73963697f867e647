#include "simulator/scenario.h"

#include <cstdio>
#include <cstring>

namespace {

struct Keyword {
    const char *name;
    std::uint8_t type;
    int takes_text;
};

const Keyword KEYWORDS[] = {
    {"live", SCENARIO_LIVE, 1},         {"history", SCENARIO_HISTORY, 1},
    {"no-history", SCENARIO_NO_HISTORY, 0}, {"wu-body", SCENARIO_WU_BODY, 1},
    {"wc-body", SCENARIO_WC_BODY, 1},   {"time-request", SCENARIO_TIME_REQUEST, 0},
    {"raw", SCENARIO_RAW, 0},           {"wait", SCENARIO_WAIT, 0},
    {"unplug", SCENARIO_UNPLUG, 0},     {"plug", SCENARIO_PLUG, 0},
    {"fault", SCENARIO_FAULT, 0},
};

int is_blank(char c)
{
    return c == ' ' || c == '\t';
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The argument part of a directive without TEXT: up to a '#' comment,
// blanks trimmed at both ends.
std::string argument(const char *p, const char *end)
{
    const char *stop = p;
    while (stop < end && *stop != '#')
        ++stop;
    while (p < stop && is_blank(*p))
        ++p;
    while (stop > p && is_blank(stop[-1]))
        --stop;
    return std::string(p, stop);
}

// A decimal number from `low` to `high` (at most seven digits).
int parse_number(const std::string &arg, std::uint32_t low, std::uint32_t high, std::uint32_t *out)
{
    if (arg.empty() || arg.size() > 7)
        return 0;
    std::uint32_t v = 0;
    for (char c : arg) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (v < low || v > high)
        return 0;
    *out = v;
    return 1;
}

int parse_wait(const std::string &arg, std::uint32_t *ms)
{
    return parse_number(arg, 0, SCENARIO_MAX_WAIT_MS, ms);
}

// KIND and its numbers: drop PAGE PACKET, corrupt PAGE PACKET N, repeat PAGE
// PACKET, live-after PAGE, stall PAGE.
int parse_fault(const std::string &arg, ConsoleFault *fault)
{
    static const struct {
        const char *name;
        std::uint8_t kind;
        int numbers;
    } kinds[] = {{"drop", FAULT_DROP, 2},         {"corrupt", FAULT_CORRUPT, 3},
                 {"repeat", FAULT_REPEAT, 2},     {"live-after", FAULT_LIVE_AFTER, 1},
                 {"stall", FAULT_STALL, 1}};
    std::vector<std::string> words;
    for (std::size_t i = 0; i < arg.size();) {
        if (is_blank(arg[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < arg.size() && !is_blank(arg[end]))
            ++end;
        words.emplace_back(arg, i, end - i);
        i = end;
    }
    if (words.empty())
        return 0;
    for (const auto &k : kinds) {
        if (words[0] != k.name)
            continue;
        const std::uint32_t high[3] = {CONSOLE_MAX_HISTORY, CONSOLE_MAX_PACKETS, SCENARIO_MAX_CORRUPT};
        std::uint32_t v[3] = {0, 0, 1};
        if (static_cast<int>(words.size()) != 1 + k.numbers)
            return 0;
        for (int n = 0; n < k.numbers; ++n)
            if (!parse_number(words[1 + static_cast<std::size_t>(n)], 1, high[n], &v[n]))
                return 0;
        *fault = ConsoleFault{k.kind, static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2])};
        return 1;
    }
    return 0;
}

// Hex bytes, optionally in blank-separated groups of whole bytes.
int parse_hex(const std::string &arg, std::string *bytes)
{
    bytes->clear();
    std::size_t i = 0;
    while (i < arg.size()) {
        if (is_blank(arg[i])) {
            ++i;
            continue;
        }
        if (i + 1 >= arg.size() || hex_value(arg[i]) < 0 || hex_value(arg[i + 1]) < 0)
            return 0;
        bytes->push_back(static_cast<char>(hex_value(arg[i]) * 16 + hex_value(arg[i + 1])));
        i += 2;
        if (i < arg.size() && !is_blank(arg[i]) && hex_value(arg[i]) < 0)
            return 0;
    }
    return !bytes->empty() && bytes->size() <= static_cast<std::size_t>(REPORT_BYTES);
}

int fail(char *error, std::size_t capacity, int line, const char *message)
{
    if (capacity)
        std::snprintf(error, capacity, "line %d: %s", line, message);
    return 0;
}

} // namespace

int parse_scenario(const char *text, std::size_t length, Scenario *out, char *error,
                   std::size_t error_capacity)
{
    out->directives.clear();
    out->runs.clear();
    if (error_capacity)
        error[0] = 0;
    int plugged = 1;
    std::size_t history = 0;
    std::size_t faults = 0;
    int line = 0;
    std::size_t pos = 0;
    while (pos < length) {
        ++line;
        std::size_t eol = pos;
        while (eol < length && text[eol] != '\n')
            ++eol;
        const char *begin = text + pos;
        const char *end = text + eol;
        pos = eol + 1;
        if (end > begin && end[-1] == '\r')
            --end;

        const char *p = begin;
        while (p < end && is_blank(*p))
            ++p;
        if (p == end || *p == '#')
            continue;
        const char *word_end = p;
        while (word_end < end && !is_blank(*word_end) && *word_end != '#')
            ++word_end;
        const std::string word(p, word_end);
        const Keyword *kw = nullptr;
        for (const Keyword &k : KEYWORDS)
            if (word == k.name)
                kw = &k;
        if (!kw) {
            char message[96];
            std::snprintf(message, sizeof message, "unknown directive \"%.40s\"", word.c_str());
            return fail(error, error_capacity, line, message);
        }

        ScenarioDirective d;
        d.type = kw->type;
        d.line = line;
        d.wait_ms = 0;
        d.fault = ConsoleFault{};
        d.run = 0;
        if (kw->takes_text) {
            if (word_end == end || *word_end != ' ' || word_end + 1 == end)
                return fail(error, error_capacity, line, "the directive needs a text after one space");
            const std::size_t size = static_cast<std::size_t>(end - (word_end + 1));
            if (size > static_cast<std::size_t>(CONSOLE_MAX_PAYLOAD))
                return fail(error, error_capacity, line, "text longer than 810 bytes");
            if (d.type != SCENARIO_HISTORY)
                d.bytes.assign(word_end + 1, end);
        } else {
            const std::string arg = argument(word_end, end);
            if (d.type == SCENARIO_WAIT) {
                if (!parse_wait(arg, &d.wait_ms))
                    return fail(error, error_capacity, line,
                                "wait needs a number of milliseconds from 0 to 3600000");
            } else if (d.type == SCENARIO_FAULT) {
                if (!parse_fault(arg, &d.fault))
                    return fail(error, error_capacity, line,
                                "fault needs drop PAGE PACKET, corrupt PAGE PACKET N, "
                                "repeat PAGE PACKET, live-after PAGE or stall PAGE");
                if (++faults > static_cast<std::size_t>(CONSOLE_MAX_FAULTS))
                    return fail(error, error_capacity, line, "more than 256 fault lines");
            } else if (d.type == SCENARIO_RAW) {
                if (!parse_hex(arg, &d.bytes))
                    return fail(error, error_capacity, line, "raw needs 1 to 65 hex bytes");
            } else if (!arg.empty()) {
                return fail(error, error_capacity, line, "the directive takes no argument");
            }
        }

        if (d.type == SCENARIO_HISTORY) {
            if (++history > static_cast<std::size_t>(CONSOLE_MAX_HISTORY))
                return fail(error, error_capacity, line, "more than 65534 history records");
            // A memory of thousands of lines is one directive and one
            // compact copy of their text, not a directive each.
            const int more = !out->directives.empty() && out->directives.back().type == SCENARIO_HISTORY;
            if (!more)
                out->runs.emplace_back();
            out->runs.back().push_back(word_end + 1, static_cast<std::size_t>(end - (word_end + 1)));
            if (more)
                continue;
            d.run = out->runs.size() - 1;
        }
        if (d.type == SCENARIO_NO_HISTORY)
            history = 0;
        if (d.type == SCENARIO_UNPLUG) {
            if (!plugged)
                return fail(error, error_capacity, line, "unplug while the console is already unplugged");
            plugged = 0;
        }
        if (d.type == SCENARIO_PLUG) {
            if (plugged)
                return fail(error, error_capacity, line, "plug while the console is plugged in");
            plugged = 1;
        }
        out->directives.push_back(std::move(d));
    }
    return 1;
}

void scenario_start(const Scenario *scenario, ScenarioRun *run, VirtualConsole *console)
{
    *run = ScenarioRun{};
    for (const ScenarioDirective &d : scenario->directives) {
        if (d.type == SCENARIO_LIVE) {
            console_set_live(console, d.bytes.data(), d.bytes.size());
            break;
        }
    }
}

ScenarioAction scenario_step(Scenario *scenario, ScenarioRun *run, VirtualConsole *console,
                             std::int64_t now_ms)
{
    console_tick(console, now_ms);
    if (run->awaiting) {
        if (!console_idle(console))
            return SCENARIO_ACT_NONE;
        run->awaiting = 0;
    }
    while (run->next < scenario->directives.size()) {
        if (now_ms < run->wait_until_ms)
            return SCENARIO_ACT_NONE;
        const ScenarioDirective &d = scenario->directives[run->next];
        const std::uint8_t *bytes = reinterpret_cast<const std::uint8_t *>(d.bytes.data());
        switch (d.type) {
        case SCENARIO_LIVE:
            console_set_live(console, d.bytes.data(), d.bytes.size());
            break;
        case SCENARIO_HISTORY:
            console_take_history(console, &scenario->runs[d.run]);
            break;
        case SCENARIO_NO_HISTORY:
            console_clear_history(console);
            break;
        case SCENARIO_WAIT:
            run->wait_until_ms = now_ms + d.wait_ms;
            break;
        case SCENARIO_FAULT:
            console_add_fault(console, d.fault);
            break;
        case SCENARIO_UNPLUG:
            ++run->next;
            return SCENARIO_ACT_UNPLUG;
        case SCENARIO_PLUG:
            ++run->next;
            return SCENARIO_ACT_PLUG;
        default: {
            // Reports need a program at the other end, and go one at a time.
            if (!console->connected || !console_idle(console))
                return SCENARIO_ACT_NONE;
            int queued = 0;
            if (d.type == SCENARIO_TIME_REQUEST)
                queued = console_queue_status(console, 3, 0);
            else
                queued = console_queue(console,
                                       d.type == SCENARIO_WU_BODY   ? JOB_WU_BODY
                                       : d.type == SCENARIO_WC_BODY ? JOB_WC_BODY
                                                                    : JOB_RAW,
                                       bytes, d.bytes.size());
            if (!queued)
                return SCENARIO_ACT_NONE;
            run->awaiting = 1;
            ++run->next;
            return SCENARIO_ACT_NONE;
        }
        }
        ++run->next;
    }
    return SCENARIO_ACT_NONE;
}

int scenario_done(const Scenario *scenario, const ScenarioRun *run)
{
    return run->next >= scenario->directives.size() && !run->awaiting;
}

std::int64_t scenario_wait_ms(const Scenario *scenario, const ScenarioRun *run,
                              const VirtualConsole *console, std::int64_t now_ms)
{
    if (scenario_done(scenario, run))
        return -1;
    if (run->awaiting)
        return console_idle(console) ? 0 : -1;
    if (now_ms < run->wait_until_ms)
        return run->wait_until_ms - now_ms;
    const std::uint8_t type = scenario->directives[run->next].type;
    const int sends = type == SCENARIO_WU_BODY || type == SCENARIO_WC_BODY ||
                      type == SCENARIO_TIME_REQUEST || type == SCENARIO_RAW;
    if (sends && (!console->connected || !console_idle(console)))
        return -1;
    return 0;
}
