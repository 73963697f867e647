// Flags shared by the interface thread, the reader thread and the export
// worker. Each is a whole integer written by one side and read by the
// others between reports; atomics make those plain reads and writes
// well-defined without a lock.
//
//   connected         written by the interface thread (connect/disconnect)
//   reader_stop       set by the interface thread, cleared by a starting reader
//   history_cancel    set by cancel, status reports, disconnect, failed export;
//                     cleared by live records, connect, history request, export start
//   history_active    set by the reader at the first accepted page; cleared by
//                     live records, cancel, device loss and the export worker
//   history_complete  set by the reader when the last page is stored;
//                     cleared by a cancelled export
//   history_total     latched by the reader from the first accepted page
//   export_cancel     set by the cancel button, cleared by the Export press:
//                     the user's cancel also reaches a file whose worker
//                     starts after it (the worker clears history_cancel)
//   history_requested set by the Export button with its history request;
//                     taken by the reader, which then counts pages afresh
#pragma once
#include <atomic>

struct LinkFlags {
    std::atomic<int> connected{0};
    std::atomic<int> reader_stop{0};
    std::atomic<int> history_cancel{0};
    std::atomic<int> history_active{0};
    std::atomic<int> history_complete{0};
    std::atomic<int> history_total{0};
    std::atomic<int> export_cancel{0};
    std::atomic<int> history_requested{0};
};

// The process-wide instance; tests make their own.
extern LinkFlags link_flags;
