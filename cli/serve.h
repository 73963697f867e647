// The web page from the command line: `nimbrel serve`, and the same server
// inside `nimbrel run` when an address is set. The live readings reach it
// as one of the record feeds.
#pragma once
#include <memory>

#include "cli/front_end.h"
#include "cli/feed.h"

int command_serve(FrontEnd &f);

// run's web page when --http or `http =` asks for one; *feed stays null
// otherwise. 0 (with the reason on standard error) when it was asked for
// and cannot start.
int web_feed_for_run(FrontEnd &f, std::unique_ptr<RecordFeed> *feed);

// 0 with a message when --http is not ADDRESS:PORT (a usage error).
int check_http_option(const FrontEnd &f);
