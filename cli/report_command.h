// `nimbrel report month YYYY-MM | year YYYY`: a climate report from the archive.
#pragma once
#include "cli/front_end.h"

int command_report(FrontEnd &f);
