// The simulated console's history memory, and a scenario's history lines
// on their way to it. A logger's records follow one layout and change in a
// few fields from one record to the next, so each record is kept as the
// bytes it does not share with the record before it (its text in full at
// the start of every block of HISTORY_BLOCK records), all in one buffer. A
// record becomes text again only when it is read, which keeps a full
// memory of 65534 records at a fraction of their text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t HISTORY_BLOCK = 256;

struct HistoryMemory {
    std::size_t size() const { return entries_ - dropped_; }
    bool empty() const { return size() == 0; }

    // The record at `index` (0 the oldest), valid until the next read or
    // change of this memory.
    const std::string &at(std::size_t index) const;
    std::string operator[](std::size_t index) const { return at(index); }
    std::string front() const { return at(0); }
    std::string back() const { return at(size() - 1); }

    // The length of the longest record ever added since the last clear.
    std::size_t longest() const { return longest_; }
    // Bytes taken by the records kept, as a measure of how compact they are.
    std::size_t held_bytes() const { return bytes_.size() + blocks_.size() * sizeof blocks_[0]; }

    void push_back(const char *text, std::size_t length);
    // Forgets the oldest record, as a full logger does to make room.
    void pop_front();
    void clear();

private:
    // Each record's entry: the length of the prefix and of the suffix it
    // shares with the record before it (both 0 at a block's start), the
    // length of what lies between them, then those bytes.
    std::string bytes_;
    std::vector<std::uint32_t> blocks_;  // where each block's first entry begins
    std::size_t entries_ = 0;
    std::size_t dropped_ = 0;            // records forgotten at the front, still in bytes_
    std::string newest_;                 // the text the next record is kept against
    std::size_t longest_ = 0;

    // The last record read and where the entry after it begins, so that
    // reading in order costs one step each.
    mutable std::string text_;
    mutable std::string scratch_;
    mutable std::size_t text_entry_ = SIZE_MAX;
    mutable std::size_t text_next_ = 0;

    void decode(std::size_t entry) const;
};
