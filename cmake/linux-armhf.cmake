# The Linux nimbrel for 32-bit ARM with hardware floating point (32-bit
# Raspberry Pi OS, Pi Zero 2).
set(CMAKE_SYSTEM_PROCESSOR arm)
set(NIMBREL_TRIPLET arm-linux-gnueabihf)
set(NIMBREL_DEB_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
