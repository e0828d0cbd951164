# CMake toolchain for 64-bit ARM Linux with Debian's cross compiler
# (g++-aarch64-linux-gnu, installed by scripts/setup.sh). Programs built with
# it run here under user-mode emulation (qemu-user-static).
#   cmake -DCMAKE_TOOLCHAIN_FILE=scripts/toolchain-aarch64.cmake ...
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_AR aarch64-linux-gnu-ar CACHE FILEPATH "")
set(CMAKE_RANLIB aarch64-linux-gnu-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP aarch64-linux-gnu-strip CACHE FILEPATH "")
# Libraries and headers come from the cross toolchain's own root (plus
# whatever is passed explicitly, e.g. the arm64 Python headers); programs
# such as the host interpreter come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(qemu_aarch64 qemu-aarch64-static)
if(qemu_aarch64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu_aarch64})
endif()
