#include "settings/upload_state.h"

UploadState upload_state;
