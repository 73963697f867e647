// The station on an MQTT broker: a thread of its own keeps the connection,
// so that a broker that is slow, away or refusing never holds up the caller.
// The caller hands over the console's presence and each state message; the
// thread publishes them, and the discovery configs, at every connection.
#pragma once
#include <string>
#include <vector>

#include "publish/discovery.h"

struct Publisher;

// Starts connecting in the background; null when no broker is set. `log`
// receives one line per change of the connection's state.
Publisher *publisher_start(const MqttSettings &settings, const UnitSettings &units,
                           void (*log)(const char *line));
// "online" while the console is connected, "offline" otherwise.
void publisher_console(Publisher *p, int connected);
// The latest state message, retained on TOPIC/state.
void publisher_state(Publisher *p, const std::string &message);
// The upload services' state, retained on TOPIC/uploads, with their Home
// Assistant entities.
void publisher_uploads(Publisher *p, const std::vector<UploadStatus> &services);
// Publishes "offline", disconnects and frees; gives the broker at most
// `wait_ms` before the process goes on without it.
void publisher_stop(Publisher *p, int wait_ms);
