# Cross build for x86_64 Windows with MinGW-w64 (posix thread model, for std::thread and
# std::mutex), from Debian's g++-mingw-w64-x86-64-posix.
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
