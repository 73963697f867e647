// The web page from the command line: `nimbrel serve`, and the same server
// inside `nimbrel run` when an address is set. The live readings reach it
// through a small feed that the session's notifications fill.
#pragma once
#include "cli/commands.h"

struct WebServer;

int command_serve(FrontEnd &f);

// Starts run's web server when --http or `http =` asks for one; *server
// stays null otherwise. 0 (with the reason on standard error) when it was
// asked for and cannot start.
int start_run_web(FrontEnd &f, WebServer **server);

// 0 with a message when --http is not ADDRESS:PORT (a usage error).
int check_http_option(const FrontEnd &f);

// The console's live record and its comings and goings, for the page.
void web_feed_record(const char *record);
void web_feed_connected(int connected);
