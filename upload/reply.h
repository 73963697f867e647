// Judging a service's reply. Only two words count: "success" (Weather
// Underground's answer) and "200" (Weathercloud's), searched anywhere in
// the reply's first 1023 bytes up to its first NUL, headers included.
#pragma once
#include <cstddef>

constexpr int REPLY_TEXT_BYTES = 1024;

enum ReplyVerdict { REPLY_NOTHING = 0, REPLY_SUCCESS = 1, REPLY_200 = 2 };

// The reply as text in `text` (always NUL-terminated) and what it says:
// REPLY_SUCCESS when it holds "success", else REPLY_200 when it holds "200".
ReplyVerdict judge_reply(const char *reply, std::size_t length, char text[REPLY_TEXT_BYTES]);

// The report message (UM_WU_UPLOAD_OK, UM_WC_UPLOAD_OK) a request of
// `service` earns with `verdict`, or 0. A verdict only counts for its own
// service: a Weather Underground rejection sent with status 200 is no
// Weathercloud success.
unsigned upload_report(ReplyVerdict verdict, int service);
