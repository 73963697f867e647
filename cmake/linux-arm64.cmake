# The Linux nimbrel for 64-bit ARM (Raspberry Pi 3, 4, 5 with a 64-bit system).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(NIMBREL_TRIPLET aarch64-linux-gnu)
set(NIMBREL_DEB_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
