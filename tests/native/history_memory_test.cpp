#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <random>
#include <string>

#include "simulator/history_memory.h"
#include "simulator/virtual_console.h"

namespace {

// Records that look alike in different ways: a logger's (a few fields
// change), texts that are prefixes or suffixes of each other, repeats,
// empty ones and ones at the console's longest.
std::string record_like(std::mt19937 &rng, const std::string &before)
{
    std::uniform_int_distribution<int> pick(0, 5);
    std::uniform_int_distribution<int> letter('a', 'c');
    switch (pick(rng)) {
    case 0:
        return "";
    case 1:
        return std::string(CONSOLE_MAX_PAYLOAD, static_cast<char>(letter(rng)));
    case 2:
        return before;
    case 3:
        return before + static_cast<char>(letter(rng));
    case 4:
        return static_cast<char>(letter(rng)) + before.substr(0, before.size() / 2);
    default: {
        std::string changed = before.empty() ? std::string(150, 'a') : before;
        std::uniform_int_distribution<std::size_t> at(0, changed.size() - 1);
        for (int n = 0; n < 3; ++n)
            changed[at(rng)] = static_cast<char>(letter(rng));
        return changed.substr(0, CONSOLE_MAX_PAYLOAD);
    }
    }
}

} // namespace

// Every record reads back byte for byte, in any order, after records are
// added, forgotten at the front (past the repacking) and cleared.
TEST(HistoryMemory, ReadsBackWhatWasKept)
{
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        HistoryMemory memory;
        std::deque<std::string> model;
        std::string last;
        for (int step = 0; step < 600; ++step) {
            const int what = std::uniform_int_distribution<int>(0, 99)(rng);
            if (what < 25) {
                memory.pop_front();
                if (!model.empty())
                    model.pop_front();
            } else if (what == 99) {
                memory.clear();
                model.clear();
            } else {
                last = record_like(rng, last);
                memory.push_back(last.data(), last.size());
                model.push_back(last);
            }
            ASSERT_EQ(memory.size(), model.size());
            if (model.empty())
                continue;
            const std::size_t i = std::uniform_int_distribution<std::size_t>(0, model.size() - 1)(rng);
            ASSERT_EQ(memory[i], model[i]) << "record " << i << " at step " << step;
        }
        for (std::size_t i = 0; i < model.size(); ++i)
            ASSERT_EQ(memory[i], model[i]) << "record " << i;
        for (std::size_t i = model.size(); i-- > 0;)
            ASSERT_EQ(memory[i], model[i]) << "record " << i << " read backwards";
    }
}

// A logger's memory is held at a small part of its text.
TEST(HistoryMemory, AFullLoggerMemoryStaysSmall)
{
    HistoryMemory memory;
    std::string text;
    std::size_t total = 0;
    for (int i = 0; i < CONSOLE_MAX_HISTORY; ++i) {
        char record[200];
        const int n = std::snprintf(record, sizeof record,
                                    "12 2026-%02d-%02d %02d:%02d %d.%d 50 5.0 70 0.0 0.0 3.0 5.0 90 E "
                                    "1010.0 1000.0 1 2.0 5.0 --.- -- --.- -- --.- -- 5.0 0.0 0.0 0.0",
                                    1 + i / 8928 % 12, 1 + i / 288 % 28, i / 12 % 24, i % 12 * 5,
                                    15 + i % 7, i % 10);
        memory.push_back(record, static_cast<std::size_t>(n));
        total += static_cast<std::size_t>(n);
    }
    EXPECT_LT(memory.held_bytes() * 4, total);
}
