// The simulated console in process: the built-in weather, or a scenario file
// replayed, behind the same port as the USB console. Time is this machine's
// steady clock, so a scenario's waits take as long as they do on Windows.
#pragma once
#include <cstddef>

#include "console/station_port.h"
#include "simulator/scenario.h"
#include "simulator/virtual_console.h"
#include "simulator/weather_model.h"

struct SimPort {
    VirtualConsole console;
    DemoConsole demo;
    Scenario scenario;
    ScenarioRun run;
    int replay;  // a scenario, not the built-in weather
    int plugged;
    int open;
};

// Prepares the console: the scenario file at `path`, or the built-in weather
// when it is null. 0 with a message in `error` when the file cannot be read
// or holds a malformed line.
int sim_port_start(SimPort *sim, const char *path, char *error, std::size_t capacity);

StationPort sim_station_port(SimPort *sim);
