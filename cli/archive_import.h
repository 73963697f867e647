// `nimbrel archive import FILE...`: export files brought into the archive.
#pragma once
#include "cli/commands.h"

int command_archive_import(FrontEnd &f);
