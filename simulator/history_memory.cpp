#include "simulator/history_memory.h"

namespace {

// Lengths as 7-bit groups, low first: one byte below 128.
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
    const std::size_t block = entry / HISTORY_BLOCK;
    std::size_t e = block * HISTORY_BLOCK;
    std::size_t pos = blocks_[block];
    if (text_entry_ != SIZE_MAX && text_entry_ >= e && text_entry_ < entry) {
        e = text_entry_ + 1;
        pos = text_next_;
    }
    for (; e <= entry; ++e) {
        const std::size_t prefix = get_length(bytes_, &pos);
        const std::size_t suffix = get_length(bytes_, &pos);
        const std::size_t middle = get_length(bytes_, &pos);
        scratch_.assign(text_, 0, prefix);
        scratch_.append(bytes_, pos, middle);
        scratch_.append(text_, text_.size() - suffix, suffix);
        text_.swap(scratch_);
        pos += middle;
    }
    text_entry_ = entry;
    text_next_ = pos;
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
    std::size_t prefix = 0, suffix = 0;
    if (entries_ % HISTORY_BLOCK == 0) {
        blocks_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    } else {
        const std::size_t shorter = length < newest_.size() ? length : newest_.size();
        while (prefix < shorter && text[prefix] == newest_[prefix])
            ++prefix;
        while (prefix + suffix < shorter &&
               text[length - 1 - suffix] == newest_[newest_.size() - 1 - suffix])
            ++suffix;
    }
    put_length(bytes_, prefix);
    put_length(bytes_, suffix);
    put_length(bytes_, length - prefix - suffix);
    bytes_.append(text + prefix, length - prefix - suffix);
    newest_.assign(text, length);
    if (length > longest_)
        longest_ = length;
    ++entries_;
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
