#include "history/history_store.h"

#include <cstring>

HistoryStore history_store;
ExportRequest export_request;

void clear_history_store(HistoryStore &store)
{
    std::memset(store.slot, 0, sizeof store.slot);
}
