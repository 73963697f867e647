#include "settings/unit_settings.h"

UnitSettings unit_settings;
