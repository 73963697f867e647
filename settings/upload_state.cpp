#include "settings/upload_state.h"

UploadState upload_state;
std::atomic<unsigned> upload_round[UPLOAD_SERVICE_COUNT];
