// The upload worker: one thread for the whole run that takes finished
// request texts from its thread message queue and sends each to its
// service over HTTP, reporting positive replies to the setup page.
#pragma once
#include <windows.h>

#include "upload/spacing.h"

// Thread identifier of the worker, for PostThreadMessageW (0 before start).
extern DWORD upload_thread_id;

// Starts the worker and waits until its message queue exists, so that a
// request posted right after start-up is not lost. 1 on success.
int start_upload_worker();

// Where uploads go. With an empty host, each service's own host on port 80;
// otherwise this host and port for both (the "Host:" header keeps the
// service's name). With `discard`, requests go nowhere: the simulated
// console's invented weather must not reach a real station page. Set
// before the worker starts.
struct UploadServer {
    char host[128];
    int port;
    int discard;
};
extern UploadServer upload_server;

// The clock the Weathercloud spacing is kept by: the tick count since boot
// and Sleep. Set before the worker starts.
extern UploadClock upload_clock;

// How long one transaction may take, from connect to the end of the reply
// (30 s); each send and receive still times out after 6 s.
extern DWORD upload_deadline_ms;

// Sends a request of `service` (UPLOAD_WU, UPLOAD_WC): up to five attempts
// at a socket, one transaction, a success reported to the setup page with
// `round` (the upload round it was built in) as wParam. Always 0.
int upload_to_host(const char *request, int service, unsigned round = 0);

// "SERVICE: upload dropped: WHY" on standard output, for every upload that
// is not sent or not taken.
void say_upload_dropped(int service, const char *why);
