// Process-wide choices of the interface: read from "ls" at start-up,
// changed on the interface thread only, stored at shutdown.
#pragma once

extern int language_index; // 0 English, 1 German, 2 French, 3 Italian, 4 Spanish
extern int upload_service; // 0 Weather Underground, 1 Weathercloud
