#include "ui/app_state.h"

int language_index = 0;
int upload_service = 0;
