// The commands of `nimbrel`. Each returns the exit status: 0 done,
// 1 the console, the download or a file failed, 2 a usage error.
#pragma once
#include "cli/front_end.h"

int command_live(FrontEnd &f);
int command_export(FrontEnd &f);
int command_run(FrontEnd &f);
int command_clock(FrontEnd &f);
int command_catch_up(FrontEnd &f);
