// One line an event on standard error, stamped with the local time, for
// `run`'s log (the journal when it runs as a service). Safe from any thread.
#pragma once

void log_line(const char *format, ...) __attribute__((format(printf, 1, 2)));
