// `nimbrel archive ACTION`: `info`, or `import FILE...`, export files
// brought into the archive.
#pragma once
#include "cli/front_end.h"

int command_archive(FrontEnd &f);
