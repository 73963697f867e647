#include "simulator/history_memory.h"

namespace {

// An entry after the first of its block: the length of the prefix and of
// the suffix it shares with the record before it, as 7-bit groups low
// first, then the bytes between them.
void put_length(std::string &out, std::size_t n)
{
    while (n >= 0x80) {
        out.push_back(static_cast<char>((n & 0x7F) | 0x80));
        n >>= 7;
    }
    out.push_back(static_cast<char>(n));
}

std::size_t get_length(const std::string &in, std::size_t *pos)
{
    std::size_t n = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(in[(*pos)++]);
        n |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return n;
    }
}

} // namespace

void HistoryMemory::decode(std::size_t entry) const
{
    const std::size_t block = entry - entry % HISTORY_BLOCK;
    std::size_t from = block;
    if (text_entry_ != SIZE_MAX && text_entry_ >= block && text_entry_ <= entry) {
        from = text_entry_;
    } else {
        const std::size_t end = block + 1 < starts_.size() ? starts_[block + 1] : entries_.size();
        text_.assign(entries_, starts_[block], end - starts_[block]);
    }
    for (std::size_t e = from + 1; e <= entry; ++e) {
        std::size_t pos = starts_[e];
        const std::size_t end = e + 1 < starts_.size() ? starts_[e + 1] : entries_.size();
        const std::size_t prefix = get_length(entries_, &pos);
        const std::size_t suffix = get_length(entries_, &pos);
        scratch_.assign(text_, 0, prefix);
        scratch_.append(entries_, pos, end - pos);
        scratch_.append(text_, text_.size() - suffix, suffix);
        text_.swap(scratch_);
    }
    text_entry_ = entry;
}

const std::string &HistoryMemory::at(std::size_t index) const
{
    const std::size_t entry = dropped_ + index;
    if (entry != text_entry_)
        decode(entry);
    return text_;
}

void HistoryMemory::push_back(const char *text, std::size_t length)
{
    const std::size_t entry = starts_.size();
    starts_.push_back(static_cast<std::uint32_t>(entries_.size()));
    if (entry % HISTORY_BLOCK == 0) {
        entries_.append(text, length);
    } else {
        const std::size_t shorter = length < newest_.size() ? length : newest_.size();
        std::size_t prefix = 0;
        while (prefix < shorter && text[prefix] == newest_[prefix])
            ++prefix;
        std::size_t suffix = 0;
        while (prefix + suffix < shorter &&
               text[length - 1 - suffix] == newest_[newest_.size() - 1 - suffix])
            ++suffix;
        put_length(entries_, prefix);
        put_length(entries_, suffix);
        entries_.append(text + prefix, length - prefix - suffix);
    }
    newest_.assign(text, length);
}

void HistoryMemory::pop_front()
{
    if (empty())
        return;
    ++dropped_;
    // Once as many are forgotten as kept, the kept ones are packed afresh,
    // so a logger that goes on for ever holds at most twice its records.
    if (dropped_ < size())
        return;
    HistoryMemory kept;
    for (std::size_t i = 0; i < size(); ++i) {
        const std::string &record = at(i);
        kept.push_back(record.data(), record.size());
    }
    *this = std::move(kept);
}

void HistoryMemory::clear()
{
    *this = HistoryMemory{};
}
