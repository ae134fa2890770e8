# Cross build for i686 Windows with MinGW-w64 (posix thread model, for std::thread and
# std::mutex), from Debian's g++-mingw-w64-i686-posix.
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
