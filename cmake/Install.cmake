# Install rules (GNU folders), the CMake package Ponderix, the pkg-config file ponderix-driver and
# the Debian packages. Components: runtime (the library), development (headers, the namelink,
# CMake package, .pc, reference pages), tools (Benchtap, scalesim, example scripts, README) and
# debug (the debug information of all of them, split off the installed binaries).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(PONDERIX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Ponderix)

target_include_directories(driver INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

# The installed copy of `target` loses its debug sections; the debug component gets them, from the
# build tree's copy, as lib/debug/.build-id/xx/yyyy.debug (where gdb looks for a /usr install).
function(ponderix_split_debug target destination component)
  if(NOT CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    return()
  endif()
  install(CODE "
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --strip-unneeded \"\${installed}\"
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR \"Could not strip \${installed}\")
    endif()" COMPONENT ${component})
  install(CODE "
    execute_process(COMMAND \"${CMAKE_READELF}\" -n \"$<TARGET_FILE:${target}>\" OUTPUT_VARIABLE notes)
    if(NOT notes MATCHES \"Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)\")
      message(FATAL_ERROR \"$<TARGET_FILE:${target}> has no build id\")
    endif()
    set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/debug/.build-id/\${CMAKE_MATCH_1}\")
    file(MAKE_DIRECTORY \"\${folder}\")
    message(STATUS \"Installing: \${folder}/\${CMAKE_MATCH_2}.debug\")
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug \"$<TARGET_FILE:${target}>\"
                            \"\${folder}/\${CMAKE_MATCH_2}.debug\" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR \"Could not copy the debug information of $<TARGET_FILE:${target}>\")
    endif()" COMPONENT debug)
endfunction()

# ---- runtime and development ----
install(TARGETS driver EXPORT PonderixTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
ponderix_split_debug(driver ${CMAKE_INSTALL_LIBDIR} runtime)
install(FILES ${PONDERIX_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ponderix COMPONENT development)

install(EXPORT PonderixTargets NAMESPACE Ponderix:: DESTINATION ${PONDERIX_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/PonderixConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/PonderixConfig.cmake INSTALL_DESTINATION ${PONDERIX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/PonderixConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/PonderixConfig.cmake ${PROJECT_BINARY_DIR}/PonderixConfigVersion.cmake
        DESTINATION ${PONDERIX_CMAKE_DIR} COMPONENT development)

# The .pc file finds its prefix from its own place, so an unpacked or moved tree works as well.
file(RELATIVE_PATH PONDERIX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" PONDERIX_PC_TO_PREFIX "${PONDERIX_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/ponderix-driver.pc.in ${PROJECT_BINARY_DIR}/ponderix-driver.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ponderix-driver.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

file(GLOB PONDERIX_REFERENCE_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PONDERIX_REFERENCE_PAGES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/reference COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/examples/consumer/CMakeLists.txt ${PROJECT_SOURCE_DIR}/examples/consumer/consumer.cpp
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/consumer COMPONENT development OPTIONAL)

install(FILES ${PROJECT_SOURCE_DIR}/examples/c/read-weight.c DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/c
        COMPONENT development)

# ---- the Python package (pure Python on ctypes over the C interface) ----
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/ponderix DESTINATION lib/python3/dist-packages COMPONENT python
        PATTERN __pycache__ EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/examples/python/read_weight.py DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/python
        COMPONENT python)

# ---- the C# binding and the Pascal unit (sources: they are compiled into the caller's program) ----
install(DIRECTORY ${PROJECT_SOURCE_DIR}/bindings/dotnet ${PROJECT_SOURCE_DIR}/bindings/pascal
        DESTINATION ${CMAKE_INSTALL_DATADIR}/ponderix/bindings COMPONENT development
        PATTERN bin EXCLUDE PATTERN obj EXCLUDE)

# ---- tools ----
foreach(tool Benchtap scalesim scale-service)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
    ponderix_split_debug(${tool} ${CMAKE_INSTALL_BINDIR} tools)
  endif()
endforeach()
if(TARGET Benchtap)
  # Benchtap loads libdriver.so.1 beside itself first, then through the loader's search, which
  # this adds the installed library folder to (for a prefix outside the system's folders).
  set_target_properties(Benchtap PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()
file(GLOB PONDERIX_EXAMPLE_SCRIPTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.json)
install(FILES ${PONDERIX_EXAMPLE_SCRIPTS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT tools)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tools)
if(TARGET scale-service)
  set_target_properties(scale-service PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # The systemd unit (installed, not enabled) and its commented settings file, which the
    # package marks as a configuration file an administrator's edits survive upgrades in.
    # A /usr install (the packages) puts the settings in /etc; any other prefix keeps them inside.
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
      set(PONDERIX_SERVICE_CONFIG_DIR /etc)
    else()
      set(PONDERIX_SERVICE_CONFIG_DIR ${CMAKE_INSTALL_SYSCONFDIR})
    endif()
    set(SCALE_SERVICE_CONFIG ${CMAKE_INSTALL_FULL_SYSCONFDIR}/scale-service.json)
    configure_file(${PROJECT_SOURCE_DIR}/service/scale-service.service.in
                   ${PROJECT_BINARY_DIR}/scale-service.service @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/scale-service.service DESTINATION lib/systemd/system COMPONENT tools)
    install(FILES ${PROJECT_SOURCE_DIR}/service/scale-service.json DESTINATION ${PONDERIX_SERVICE_CONFIG_DIR}
            COMPONENT tools)
    file(WRITE ${PROJECT_BINARY_DIR}/debian-tools/conffiles "${SCALE_SERVICE_CONFIG}\n")
    set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian-tools/conffiles)
  endif()
endif()

# ---- Debian packages (scripts/package.sh) ----
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR ZIP)
endif()
set(CPACK_PACKAGE_NAME ponderix)
set(CPACK_PACKAGE_VENDOR Korvalt)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tools python debug)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# scale-service links libdriver.so.1, which the runtime package of this same build brings.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)  # Benchtap loads the library, shlibdeps cannot see that
set(CPACK_COMPONENT_DEBUG_DEPENDS runtime)
set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)  # loads the library with ctypes

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libponderix-driver${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "Ponderix scale driver library
libdriver.so talks to retail weighing scales over a serial port or TCP: native text protocol,
POS2M, POS2MProV1, CAS-M, CAS-M ProV1, CAS-M-Active and OKA, with protocol detection.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libponderix-driver-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "Ponderix scale driver library: development files
Headers (ponderix/driver-types.hpp, ponderix/driver-api.hpp, the C interface ponderix/ponderix.h), the CMake package Ponderix, the
pkg-config file ponderix-driver, the reference pages, a consumer example, and in
/usr/share/ponderix/bindings the C# binding (Ponderix.cs) and the Delphi / Free Pascal unit
(Ponderix.pas) with their examples and test programs.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ponderix-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "Ponderix scale driver: Benchtap, scalesim and scale-service
Benchtap runs JSON scripts of driver commands against one scale; scalesim plays a scale of any
supported protocol on a pseudo-terminal or TCP; scale-service serves the scales to browser
point-of-sale pages over HTTP and WebSocket, with its systemd unit (not enabled) and a
commented /etc/scale-service.json. With the example scripts.")
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-ponderix)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS python3)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Ponderix scale driver: Python package
The ponderix package reads weights, zeroes and tares retail scales through the driver
library's C interface (ctypes), with a read-weight example.")
set(CPACK_DEBIAN_DEBUG_PACKAGE_NAME ponderix-dbg)
set(CPACK_DEBIAN_DEBUG_PACKAGE_SECTION debug)
set(CPACK_DEBIAN_DEBUG_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEBUG_DESCRIPTION "Ponderix scale driver: debug information
Debug information of libdriver.so, Benchtap and scalesim, found by gdb through their build ids.")
include(${PROJECT_SOURCE_DIR}/cmake/Debian.cmake)
include(CPack)
