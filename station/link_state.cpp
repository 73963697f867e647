#include "station/link_state.h"

LinkFlags link_flags;
