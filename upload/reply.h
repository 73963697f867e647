// Judging a service's reply. Both services answer with an HTTP status line,
// headers and a body, and both put their verdict in the body: Weather
// Underground says "success", Weathercloud gives its own code ("200" when
// the reading was taken, "401" or "429" when it was refused, always with
// status 200). Only the reply's first 1023 bytes, up to its first NUL, are
// judged; headers never decide.
#pragma once
#include <cstddef>

constexpr int REPLY_TEXT_BYTES = 1024;

// The reply as text in `text` (always NUL-terminated): its first 1023
// bytes up to the first NUL.
void reply_text(const char *reply, std::size_t length, char text[REPLY_TEXT_BYTES]);

// The status code of the reply's status line ("HTTP/x.y NNN ..."), or 0
// when it has none; `*body` then points past the empty line that ends the
// headers, or is null when that line is missing.
int reply_status(const char *text, const char **body);

// 1 when `text` says `service` (UPLOAD_WU, UPLOAD_WC) took the reading:
// status 200 and, for Weather Underground, "success" in the body, for
// Weathercloud a body whose code is 200.
int reply_accepted(const char *text, int service);

// The report message (UM_WU_UPLOAD_OK, UM_WC_UPLOAD_OK) of `service`.
unsigned upload_report(int service);
