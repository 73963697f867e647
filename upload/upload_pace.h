// Each service at its own pace: when its next upload may go, what a reply
// or a failed attempt means for it, and one log line per change of its
// state, with the user's secrets cut out.
#pragma once
#include <string>
#include <vector>

#include "upload/service_table.h"

// What came back from one attempt. `status` 0: no HTTP reply at all, and
// `error` says why (DNS, refused, time-out, TLS, the APRS-IS login).
struct UploadReply {
    int status = 0;
    std::string retry_after;  // the Retry-After header, as sent
    std::string body;
    std::string error;
};

enum class UploadResult {
    taken,        // the service has the record (a 409 duplicate included)
    credentials,  // the ID or key was refused
    too_often,    // 429: wait, then send the same record again
    failed,       // anything else: try the same record again at the usual pace
};

struct UploadOutcome {
    UploadResult result;
    long long wait_s;    // the wait the service asked for, 0 none
    std::string reason;  // for the log, the page and MQTT
};

// The verdict on one attempt for the service `row`.
UploadOutcome judge_upload(const UploadService &row, const UploadReply &reply);

// Wrong credentials are retried this rarely: the user has to mend them, and
// a service may lock out a station that keeps trying.
constexpr long long CREDENTIALS_RETRY_MS = 30LL * 60 * 1000;

struct UploadPace {
    long long next_ms = 0;   // the earliest time of the next upload; 0: the first record
    int state = 0;           // 0 nothing yet, 1 working, 2 failing
    std::string reason;      // the failure being reported
    long long last_success = 0, last_failure = 0;  // UTC seconds; 0 never
};

// 1 when an upload may begin at `now_ms` (a steady clock).
int pace_due(const UploadPace &pace, long long now_ms);

// Notes an outcome at `now_ms` and `utc` and sets when the next upload may
// go. Returns the log line when the service's state or its reason
// changed, an empty text otherwise. Each non-empty text of `secrets` is
// cut out of the line and the reason.
std::string pace_outcome(UploadPace *pace, const UploadService &row, UploadOutcome outcome,
                         long long now_ms, long long utc,
                         const std::vector<std::string> &secrets);

// `text` with every occurrence of each non-empty secret replaced by "***".
std::string without_secrets(std::string text, const std::vector<std::string> &secrets);
