# Dependencies of the Windows cross build. Debian ships Boost, spdlog and fmt compiled for Linux
# only, so the Windows build takes their headers from the Linux system (and nothing else from
# /usr/include) and compiles the two Boost libraries it needs from Debian's boost1.74 source
# package: Program Options (Benchtap's --help layout is its own) and Filesystem. Asio, System,
# Property Tree and Date Time are header-only, and so are spdlog and fmt here.
set(PONDERIX_BOOST_SOURCE_DIR "" CACHE PATH "Unpacked boost1.74 source package (holding libs/)")
if(NOT EXISTS "${PONDERIX_BOOST_SOURCE_DIR}/libs/program_options/src")
  message(FATAL_ERROR "PONDERIX_BOOST_SOURCE_DIR must point at the unpacked boost1.74 sources "
                      "(scripts/test-windows.sh fetches them)")
endif()

# Only these folders of /usr/include: the rest there belongs to the Linux C library.
set(PONDERIX_WINDOWS_HEADERS ${CMAKE_BINARY_DIR}/third-party-include)
file(MAKE_DIRECTORY ${PONDERIX_WINDOWS_HEADERS})
foreach(folder boost spdlog fmt nlohmann)
  if(EXISTS /usr/include/${folder} AND NOT EXISTS ${PONDERIX_WINDOWS_HEADERS}/${folder})
    file(CREATE_LINK /usr/include/${folder} ${PONDERIX_WINDOWS_HEADERS}/${folder} SYMBOLIC)
  endif()
endforeach()

add_library(ponderix_windows_headers INTERFACE)
target_include_directories(ponderix_windows_headers SYSTEM INTERFACE ${PONDERIX_WINDOWS_HEADERS})
# Windows 7 and later; Asio asks for the target version to be stated.
target_compile_definitions(ponderix_windows_headers INTERFACE _WIN32_WINNT=0x0601 FMT_HEADER_ONLY
                           BOOST_FILESYSTEM_STATIC_LINK BOOST_PROGRAM_OPTIONS_STATIC_LINK)

add_library(ponderix_boost_system INTERFACE)
target_link_libraries(ponderix_boost_system INTERFACE ponderix_windows_headers ws2_32 mswsock)
add_library(Boost::system ALIAS ponderix_boost_system)
add_library(Boost::date_time ALIAS ponderix_boost_system)
add_library(spdlog::spdlog ALIAS ponderix_windows_headers)
add_library(fmt::fmt ALIAS ponderix_windows_headers)
add_library(nlohmann_json::nlohmann_json ALIAS ponderix_windows_headers)

function(ponderix_boost_library name)
  file(GLOB sources ${PONDERIX_BOOST_SOURCE_DIR}/libs/${name}/src/*.cpp)
  add_library(ponderix_boost_${name} STATIC ${sources})
  target_link_libraries(ponderix_boost_${name} PUBLIC ponderix_windows_headers ${ARGN})
  string(TOUPPER ${name} upper)
  target_compile_definitions(ponderix_boost_${name} PRIVATE BOOST_${upper}_SOURCE)
  # Third-party code: its warnings are not ours to fix.
  target_compile_options(ponderix_boost_${name} PRIVATE -w)
  add_library(Boost::${name} ALIAS ponderix_boost_${name})
endfunction()
ponderix_boost_library(filesystem bcrypt advapi32)
ponderix_boost_library(program_options)

# One file per program: the C++ runtime and the thread library are linked in, so driver.dll and
# Benchtap.exe need nothing beside them but Windows' own DLLs. Both still share msvcrt's heap,
# so the standard-library objects that cross the exports are freed where they were made.
add_link_options(-static)
# Asio and spdlog together exceed the default section count of a COFF object.
add_compile_options(-Wa,-mbig-obj)
# -O2 as the Linux builds use: at -O3 GCC 12 reports out-of-bounds copies inside std::vector's
# insert that cannot happen (-Warray-bounds false alarms).
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")
