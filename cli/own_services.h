// `run`'s own upload services (PWSweather, WOW, Windy, AWEKAS,
// OpenWeatherMap, CWOP): their settings checked at start, and their feed,
// with the archive keeping what each was sent so that a restart owes the
// same.
#pragma once
#include <memory>
#include <string>

#include "cli/front_end.h"
#include "cli/feed.h"
#include "publish/publisher.h"

// 0 with a one-line message on standard error when a service switched on
// lacks what it needs (its ID, key, or the station's position).
int own_services_ready(const FrontEndConfig &config);

// The feed of the services switched on; null when none is, or when the
// simulated console's uploads are not to be sent anywhere. Their state goes
// to `publisher` (may be null; it must outlive the feed) and to
// own_services_json.
std::unique_ptr<RecordFeed> own_services_feed(const FrontEnd &f, const std::string &archive_path,
                                              Publisher *publisher);

// The outcome of a live upload made of the console's body for `service`
// (Weather Underground), `record` being the newest live record then: the
// feed sends from the archive what such uploads missed.
void own_services_live_outcome(int service, const std::string &record, bool taken,
                               const std::string &reason);

// The environment variable that sets one pace, in milliseconds, for every
// service: for tests that go through many records.
constexpr char UPLOAD_PACE_VARIABLE[] = "NIMBREL_UPLOAD_PACE_MS";
// ... and the one that sets how long an attempt may take.
constexpr char UPLOAD_TIMEOUT_VARIABLE[] = "NIMBREL_UPLOAD_TIMEOUT_MS";

// The services' state as the page's /api/uploads carries it; "{}" before
// any.
std::string own_services_json();
