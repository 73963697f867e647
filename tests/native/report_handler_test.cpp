#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "report_builder.h"
#include "station/commands.h"
#include "station/messages.h"

namespace {

struct Sent {
    int receiver;
    unsigned message;
    std::intptr_t lparam;
    bool operator==(const Sent &) const = default;
};

// A fresh reader, counters, flags and store per test; the history store
// is large, so it lives on the heap.
class ReportHandler : public ::testing::Test {
protected:
    ReaderState reader{};
    LinkCounters counters{};
    LinkFlags flags;
    std::unique_ptr<HistoryStore> store = std::make_unique<HistoryStore>();
    char16_t file_name[16] = u"out.csv";
    ReportAction action{};

    LinkContext link() { return {&counters, &flags, store.get(), file_name}; }

    void feed(const RawReport &r) { handle_report(r.bytes, reader, link(), action); }

    // The single reply of the last report, or null.
    const std::uint8_t *reply()
    {
        const std::uint8_t *frame = nullptr;
        for (int i = 0; i < action.count; ++i)
            if (action.step[i].frame) {
                EXPECT_EQ(frame, nullptr) << "more than one reply";
                frame = action.step[i].frame;
            }
        return frame;
    }

    std::vector<Sent> messages()
    {
        std::vector<Sent> out;
        for (int i = 0; i < action.count; ++i)
            if (!action.step[i].frame)
                out.push_back({action.step[i].receiver, action.step[i].message, action.step[i].lparam});
        return out;
    }

    std::intptr_t record_address() { return reinterpret_cast<std::intptr_t>(reader.record); }

    // One history page in two packets.
    void feed_page(int count, int key, const char *first, const char *second)
    {
        feed(make_report(KIND_RECORD, count, key, 1, 2, first));
        feed(make_report(KIND_RECORD, count, key, 2, 2, second));
    }

    void give_up_page(int count, int key)
    {
        for (int i = 0; i < GIVE_UP_AFTER; ++i)
            feed(make_report(KIND_RECORD, count, key, 1, 2, "x", 0));
        ASSERT_EQ(reply(), CMD_PAGE_ACK);
    }

    std::string slot_text(int k) { return reinterpret_cast<const char *>(store->slot[k]); }
};

TEST_F(ReportHandler, LiveRecordInTwoPacketsIsAcknowledgedAndDelivered)
{
    feed(make_report(KIND_RECORD, 0, 0, 1, 2, "45 2026-03-07 "));
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
    EXPECT_TRUE(messages().empty());

    feed(make_report(KIND_RECORD, 0, 0, 2, 2, "13:45 21.5"));
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
    ASSERT_EQ(messages(), (std::vector<Sent>{{TO_TARGET, UM_LIVE_RECORD, record_address()}}));
    EXPECT_STREQ(reinterpret_cast<const char *>(reader.record), "45 2026-03-07 13:45 21.5");
}

TEST_F(ReportHandler, ARecordNeverEndsWithItsFirstPacketButABodyMay)
{
    feed(make_report(KIND_RECORD, 0, 0, 1, 1, "only"));
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
    EXPECT_TRUE(messages().empty());

    const struct {
        std::uint8_t kind;
        unsigned message;
        const std::uint8_t *buffer;
    } bodies[] = {{KIND_WU_BODY, UM_WU_BODY, reader.wu_body}, {KIND_WC_BODY, UM_WC_BODY, reader.wc_body}};
    for (const auto &b : bodies) {
        SCOPED_TRACE(b.message);
        feed(make_report(b.kind, 0, 0, 1, 1, "&tempf=70"));
        EXPECT_EQ(reply(), CMD_ACK);
        ASSERT_EQ(messages(), (std::vector<Sent>{{TO_TARGET, b.message, reinterpret_cast<std::intptr_t>(b.buffer)}}));
        EXPECT_STREQ(reinterpret_cast<const char *>(b.buffer), "&tempf=70");
    }
}

TEST_F(ReportHandler, MultiPacketBodiesAreJoinedPerKind)
{
    // Interleaved bodies do not disturb each other.
    feed(make_report(KIND_WU_BODY, 0, 0, 1, 3, "a1"));
    feed(make_report(KIND_WC_BODY, 0, 0, 1, 2, "b1"));
    feed(make_report(KIND_WU_BODY, 0, 0, 2, 3, "a2"));
    feed(make_report(KIND_WC_BODY, 0, 0, 2, 2, "b2"));
    ASSERT_EQ(messages(), (std::vector<Sent>{{TO_TARGET, UM_WC_BODY, reinterpret_cast<std::intptr_t>(reader.wc_body)}}));
    feed(make_report(KIND_WU_BODY, 0, 0, 3, 3, "a3"));
    ASSERT_EQ(messages(), (std::vector<Sent>{{TO_TARGET, UM_WU_BODY, reinterpret_cast<std::intptr_t>(reader.wu_body)}}));
    EXPECT_STREQ(reinterpret_cast<const char *>(reader.wu_body), "a1a2a3");
    EXPECT_STREQ(reinterpret_cast<const char *>(reader.wc_body), "b1b2");
}

TEST_F(ReportHandler, TenthBadReportInARowIsAcknowledgedPerFamily)
{
    const struct {
        const char *name;
        std::uint8_t kind;
        const std::uint8_t *reject, *give_up;
    } families[] = {
        {"record", KIND_RECORD, CMD_PAGE_NAK, CMD_PAGE_ACK},
        {"status", KIND_STATUS, CMD_NAK, CMD_ACK},
        {"unknown kind", 0x42, CMD_NAK, CMD_ACK},
    };
    for (const auto &f : families) {
        SCOPED_TRACE(f.name);
        for (int round = 0; round < 2; ++round) // the count starts again after a give-up
            for (int i = 1; i <= GIVE_UP_AFTER; ++i) {
                feed(make_report(f.kind, 0, 0, 1, 2, "x", 0));
                EXPECT_EQ(reply(), i < GIVE_UP_AFTER ? f.reject : f.give_up) << "report " << i;
            }
    }
}

TEST_F(ReportHandler, EachFamilyKeepsItsOwnBadCount)
{
    for (int i = 0; i < 5; ++i)
        feed(make_report(KIND_RECORD, 0, 0, 1, 2, "x", 0));
    // Good and bad reports of the other family leave the record count alone.
    for (int i = 0; i < 9; ++i)
        feed(make_report(KIND_WU_BODY, 0, 0, 1, 2, "x", 0));
    feed(make_report(KIND_STATUS, 0, 0, 1, 1));
    EXPECT_EQ(reply(), CMD_ACK);
    for (int i = 6; i <= 9; ++i) {
        feed(make_report(KIND_RECORD, 0, 0, 1, 2, "x", 0));
        EXPECT_EQ(reply(), CMD_PAGE_NAK) << "record report " << i;
    }
    feed(make_report(KIND_RECORD, 0, 0, 1, 2, "x", 0));
    EXPECT_EQ(reply(), CMD_PAGE_ACK);

    // The good status report restarted the other family's count.
    for (int i = 1; i <= 9; ++i) {
        feed(make_report(KIND_WC_BODY, 0, 0, 1, 2, "x", 0));
        EXPECT_EQ(reply(), CMD_NAK) << "other report " << i;
    }
}

TEST_F(ReportHandler, APageIgnoredWithoutReplyDoesNotRestartTheBadCount)
{
    for (int i = 0; i < 9; ++i)
        feed(make_report(KIND_RECORD, 5, 1, 1, 2, "x", 0));
    flags.history_cancel = 1;
    feed(make_report(KIND_RECORD, 5, 1, 1, 2, "good"));
    EXPECT_EQ(action.count, 0);
    feed(make_report(KIND_RECORD, 5, 1, 1, 2, "x", 0));
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
}

TEST_F(ReportHandler, PagesGetNoReplyWhileCancelledOrBeforeAFileIsChosen)
{
    flags.history_cancel = 1;
    feed(make_report(KIND_RECORD, 3, 1, 1, 2, "p"));
    EXPECT_EQ(action.count, 0);
    EXPECT_EQ(flags.history_active, 0);

    flags.history_cancel = 0;
    file_name[0] = 0;
    feed(make_report(KIND_RECORD, 3, 1, 1, 2, "p"));
    EXPECT_EQ(action.count, 0);
    EXPECT_EQ(flags.history_active, 0);

    // A live record still passes without a file.
    feed(make_report(KIND_RECORD, 0, 0, 1, 2, "live"));
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
}

TEST_F(ReportHandler, DownloadStoresPagesInOrderAndCompletes)
{
    feed(make_report(KIND_RECORD, 2, 7, 1, 2, "page "));
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_STATUS_BAR, UM_HISTORY_START, 2}}));
    EXPECT_EQ(action.step[0].message, UM_HISTORY_START) << "the start comes before the reply";
    EXPECT_EQ(flags.history_active, 1);
    EXPECT_EQ(flags.history_total, 2);
    feed(make_report(KIND_RECORD, 2, 7, 2, 2, "one"));
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_STATUS_BAR, UM_HISTORY_PROGRESS, 1}}));

    feed_page(2, 8, "page ", "two");
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_STATUS_BAR, UM_HISTORY_PROGRESS, 2}, {TO_TARGET, UM_HISTORY_COMPLETE, 0}}));
    EXPECT_EQ(flags.history_complete, 1);
    EXPECT_EQ(slot_text(0), "page one");
    EXPECT_EQ(slot_text(1), "page two");
}

TEST_F(ReportHandler, GivenUpPagesCountOncePerKey)
{
    feed_page(10, 1, "a", "b");
    give_up_page(10, 2);
    give_up_page(10, 2);
    EXPECT_EQ(counters.skipped_pages, 1);
    give_up_page(10, 3);
    EXPECT_EQ(counters.skipped_pages, 2);
    EXPECT_EQ(counters.last_given_up_key, 3);
}

TEST_F(ReportHandler, AFirstPageWithKeyZeroGivenUpStillCounts)
{
    give_up_page(2, 0);
    EXPECT_EQ(counters.skipped_pages, 1);
    feed_page(2, 1, "second", "");
    EXPECT_EQ(slot_text(0), "second");
    EXPECT_EQ(flags.history_complete, 1);
}

TEST_F(ReportHandler, AGivenUpLiveRecordDoesNotShortenTheNextDownload)
{
    give_up_page(0, 0);
    EXPECT_EQ(counters.skipped_pages, 0);
    feed_page(2, 1, "first", "");
    EXPECT_EQ(flags.history_complete, 0);
    feed_page(2, 2, "second", "");
    EXPECT_EQ(slot_text(1), "second");
    EXPECT_EQ(flags.history_complete, 1);
}

TEST_F(ReportHandler, PageAfterASkippedOneTakesTheNextSlotAndTheDownloadStillCompletes)
{
    feed_page(3, 1, "first", "");
    give_up_page(3, 2);
    feed_page(3, 3, "third", "");
    EXPECT_EQ(slot_text(0), "first");
    EXPECT_EQ(slot_text(1), "third");
    EXPECT_EQ(slot_text(2), "");
    EXPECT_EQ(reader.remaining, 0);
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_STATUS_BAR, UM_HISTORY_PROGRESS, 3}, {TO_TARGET, UM_HISTORY_COMPLETE, 0}}));
    EXPECT_EQ(counters.skipped_pages, 0);
}

TEST_F(ReportHandler, GivingUpTheLastPagesCompletesTheDownload)
{
    feed_page(3, 1, "first", "");
    give_up_page(3, 2);
    EXPECT_TRUE(messages().empty());
    give_up_page(3, 3);
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_STATUS_BAR, UM_HISTORY_PROGRESS, 3}, {TO_TARGET, UM_HISTORY_COMPLETE, 0}}));
    EXPECT_EQ(flags.history_complete, 1);

    // A stray page afterwards does not complete the download a second time.
    feed_page(3, 4, "late", "");
    for (const Sent &s : messages())
        EXPECT_NE(s.message, UM_HISTORY_COMPLETE);
}

TEST_F(ReportHandler, SkippedPagesBeyondTheCountStillEndTheDownloadOnce)
{
    feed_page(2, 1, "first", "");
    give_up_page(2, 5);
    give_up_page(2, 6); // the console gave up more pages than it had left
    EXPECT_EQ(flags.history_complete, 1);
    EXPECT_EQ(reader.remaining, 0);
}

TEST_F(ReportHandler, PagesBeyondTheStoreAreNotWrittenButCounted)
{
    // A download announced with more pages than the store holds, at its end.
    feed_page(60002, 1, "first", "");
    reader.remaining = 2; // pages 0 .. 59999 stored
    feed_page(60002, 2, "beyond", "");
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
    feed_page(60002, 3, "beyond", "");
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_STATUS_BAR, UM_HISTORY_PROGRESS, 60002}, {TO_TARGET, UM_HISTORY_COMPLETE, 0}}));
    EXPECT_EQ(slot_text(0), "first");
}

TEST_F(ReportHandler, LiveRecordDuringADownloadLeavesItRunning)
{
    feed_page(2, 1, "a", "b");
    feed(make_report(KIND_RECORD, 0, 0, 1, 2, "live "));
    feed(make_report(KIND_RECORD, 0, 0, 2, 2, "now"));
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_TARGET, UM_LIVE_RECORD, record_address()}}));
    EXPECT_EQ(flags.history_active, 1);

    feed_page(2, 2, "c", "d");
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_STATUS_BAR, UM_HISTORY_PROGRESS, 2}, {TO_TARGET, UM_HISTORY_COMPLETE, 0}}));
    EXPECT_EQ(slot_text(0), "ab");
    EXPECT_EQ(slot_text(1), "cd");

    // Outside a download a live record clears the flags, as before.
    flags.history_cancel = 1;
    feed(make_report(KIND_RECORD, 0, 0, 1, 2, "live "));
    EXPECT_EQ(flags.history_active, 0);
    EXPECT_EQ(flags.history_cancel, 0);
}

TEST_F(ReportHandler, OutOfSequencePacketsAreAcknowledgedAndDropped)
{
    feed(make_report(KIND_RECORD, 0, 0, 1, 3, "one "));
    feed(make_report(KIND_RECORD, 0, 0, 3, 3, "three"));
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
    EXPECT_EQ(counters.record_packet, 0);
    feed(make_report(KIND_RECORD, 0, 0, 2, 3, "two "));
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
    EXPECT_EQ(counters.record_packet, 0) << "index 2 after a reset is dropped too";

    feed(make_report(KIND_RECORD, 0, 0, 1, 3, "A"));
    feed(make_report(KIND_RECORD, 0, 0, 2, 3, "B"));
    feed(make_report(KIND_RECORD, 0, 0, 3, 3, "C"));
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_TARGET, UM_LIVE_RECORD, record_address()}}));
    EXPECT_STREQ(reinterpret_cast<const char *>(reader.record), "ABC");

    feed(make_report(KIND_WU_BODY, 0, 0, 2, 2, "late"));
    EXPECT_EQ(reply(), CMD_ACK);
    EXPECT_TRUE(messages().empty());
}

TEST_F(ReportHandler, NoHistoryMarkerIsReportedWithoutReplyWhateverItsCrc)
{
    for (int good : {1, 0}) {
        SCOPED_TRACE(good);
        feed(make_report(KIND_RECORD, 0xFFFF, 0xFFFF, 1, 1, "", good));
        EXPECT_EQ(messages(), (std::vector<Sent>{{TO_TARGET, UM_NO_HISTORY, 0}}));
        EXPECT_EQ(reply(), nullptr);
    }
    EXPECT_EQ(counters.record_bad_crc, 0);
}

TEST_F(ReportHandler, StatusReportsCancelAndAskForTheTime)
{
    const struct {
        const char *name;
        int code, flag;
        int cancels, asks_time;
    } cases[] = {
        {"plain status", 0, 0, 0, 0},
        {"cancel", 0, 1, 1, 0},
        {"time request", 3, 0, 0, 1},
        {"both", 3, 1, 1, 1},
        {"flag 2 is no cancel", 2, 2, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        flags.history_cancel = 0;
        feed(make_report(KIND_STATUS, c.code << 8 | c.flag, 0, 1, 1));
        ASSERT_GE(action.count, 1);
        EXPECT_EQ(action.step[0].frame, CMD_ACK) << "the reply comes first";
        EXPECT_EQ(flags.history_cancel, c.cancels);
        std::vector<Sent> expected;
        if (c.asks_time)
            expected.push_back({TO_TARGET, UM_TIME_SYNC, 0});
        EXPECT_EQ(messages(), expected);
    }
}

TEST_F(ReportHandler, OtherFamilyGiveUpRestartsOnlyTheWeatherUndergroundBody)
{
    feed(make_report(KIND_WU_BODY, 0, 0, 1, 2, "u1"));
    feed(make_report(KIND_WC_BODY, 0, 0, 1, 2, "c1"));
    for (int i = 0; i < GIVE_UP_AFTER; ++i)
        feed(make_report(KIND_STATUS, 0, 0, 1, 1, "", 0));
    feed(make_report(KIND_WU_BODY, 0, 0, 2, 2, "u2"));
    EXPECT_TRUE(messages().empty());
    feed(make_report(KIND_WC_BODY, 0, 0, 2, 2, "c2"));
    EXPECT_EQ(messages().size(), 1u);
}

TEST_F(ReportHandler, OversizedPacketsAreAcknowledgedAndDroppedWithoutOverrun)
{
    // Length byte beyond what a report can carry.
    RawReport r = make_report(KIND_RECORD, 0, 0, 1, 2, "x");
    set_length(r, 200);
    feed(r);
    EXPECT_EQ(reply(), CMD_PAGE_ACK);
    EXPECT_EQ(counters.record_packet, 0);
    EXPECT_EQ(reader.record_offset, 0);

    RawReport w = make_report(KIND_WU_BODY, 0, 0, 1, 1, "x");
    set_length(w, 55);
    feed(w);
    EXPECT_EQ(reply(), CMD_ACK);
    EXPECT_TRUE(messages().empty());
}

TEST_F(ReportHandler, LongRecordsAreJoinedPastTwoHundredFiftySixBytes)
{
    const std::string chunk(50, 'a');
    std::string expected;
    for (int i = 1; i <= 8; ++i) {
        std::string part = chunk;
        part[0] = static_cast<char>('0' + i);
        expected += part;
        feed(make_report(KIND_RECORD, 0, 0, i, 8, part.c_str()));
    }
    EXPECT_EQ(messages(), (std::vector<Sent>{{TO_TARGET, UM_LIVE_RECORD, record_address()}}));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(reader.record)), expected);
}

TEST_F(ReportHandler, ARecordThatWouldFillItsBufferIsDropped)
{
    const std::string chunk(MAX_PAYLOAD, 'r'); // 9 packets: 486 bytes > 449
    for (int i = 1; i <= 9; ++i) {
        feed(make_report(KIND_RECORD, 0, 0, i, 9, chunk.c_str()));
        EXPECT_EQ(reply(), CMD_PAGE_ACK);
        EXPECT_TRUE(messages().empty()) << "packet " << i;
    }
    EXPECT_EQ(reader.record[RECORD_BYTES - 1], 0) << "the record stays terminated";
    EXPECT_EQ(counters.record_packet, 0);
}

// Whatever the payload before left behind, the next one starting with its
// first packet arrives whole.
TEST_F(ReportHandler, APayloadRightAfterAnotherOfItsKindArrivesWhole)
{
    const struct {
        const char *before;
        std::uint8_t kind;
        int count, packets, index; // the packet the payload before ended with
    } rows[] = {
        {"a record of one packet", KIND_RECORD, 0, 1, 1},
        {"a page of one packet", KIND_RECORD, 3, 1, 1},
        {"a record cut after its first packet", KIND_RECORD, 0, 3, 1},
        {"a record cut after its second packet", KIND_RECORD, 0, 3, 2},
        {"a body of one packet", KIND_WU_BODY, 0, 1, 1},
        {"a body cut after its second packet", KIND_WC_BODY, 0, 3, 2},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.before);
        reader = {};
        counters = {};
        flags.history_active = 0;
        for (int i = 1; i <= r.index; ++i)
            feed(make_report(r.kind, r.count, 1, i, r.packets, "old"));
        feed(make_report(r.kind, r.count, 2, 1, 2, "new "));
        feed(make_report(r.kind, r.count, 2, 2, 2, "one"));
        const std::vector<Sent> got = messages();
        ASSERT_FALSE(got.empty());
        const char *text = r.kind == KIND_RECORD    ? reinterpret_cast<const char *>(reader.record)
                           : r.kind == KIND_WU_BODY ? reinterpret_cast<const char *>(reader.wu_body)
                                                    : reinterpret_cast<const char *>(reader.wc_body);
        EXPECT_STREQ(text, "new one");
        if (r.count == 0)
            EXPECT_EQ(got.back().lparam, reinterpret_cast<std::intptr_t>(text));
        else
            EXPECT_EQ(slot_text(0), "new one");
    }
}

// The bad-CRC count runs on across a new history request; only the pages
// given up for the interrupted download stop counting against the new one.
TEST_F(ReportHandler, AHistoryRequestRestartsTheSkippedPagesButNotTheBadCount)
{
    feed_page(5, 1, "p1 ", "a");
    give_up_page(5, 2);
    for (int i = 0; i < 9; ++i)
        feed(make_report(KIND_RECORD, 5, 3, 1, 2, "x", 0));
    // Cancelled here; Export is pressed again.
    flags.history_active = 0;
    flags.history_requested = 1;
    feed(make_report(KIND_RECORD, 3, 1, 1, 2, "x", 0));
    EXPECT_EQ(reply(), CMD_PAGE_ACK) << "the tenth bad report in a row";
    feed_page(3, 2, "q2 ", "b");
    EXPECT_EQ(flags.history_complete.load(), 0) << "the old download's skipped page counted";
    feed_page(3, 3, "q3 ", "c");
    EXPECT_EQ(slot_text(0), "q2 b");
    EXPECT_EQ(flags.history_complete.load(), 1);
}

} // namespace
