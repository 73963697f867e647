// The request builder's Win32 side: credentials from the setup page or
// the registry, the console's body from the ANSI code page, and the hand-
// over to the upload worker.
#pragma once

// Turns a service's body (a 1024-byte buffer) into a request and posts it
// to the upload worker, when that service's "Auto Upload" is on and its
// ID and key are known. 1 when a request was posted.
int post_upload_request(int service, const char *body);
