# What Debian asks of a binary package beside its files (lintian checks it in
# scripts/test-install.sh): a maintainer contact, the copyright file and a changelog in every
# package's documentation folder, shlibs and the ldconfig trigger for the library, and a manual
# page for each program, written by help2man from the program's --help when the build runs.
set(CPACK_PACKAGE_CONTACT "Korvalt Ponderix team <ponderix@korvalt.example>")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE ponderix)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://korvalt.example/ponderix")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(PONDERIX_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

set(debian ${PROJECT_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${debian}/changelog @ONLY)
find_program(GZIP_PROGRAM gzip REQUIRED)
# gzip -n: no name or time inside, the same bytes on every build.
execute_process(COMMAND ${GZIP_PROGRAM} -9nf ${debian}/changelog)

foreach(component runtime development tools python debug)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION share/doc/${package} COMPONENT ${component})
  install(FILES ${debian}/changelog.gz DESTINATION share/doc/${package} RENAME changelog.Debian.gz
          COMPONENT ${component})
  # Overrides, each with its reason: the tags every package gets, and the package's own.
  file(READ ${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides overrides)
  if(EXISTS ${PROJECT_SOURCE_DIR}/cmake/debian/${package}.lintian-overrides)
    file(READ ${PROJECT_SOURCE_DIR}/cmake/debian/${package}.lintian-overrides own)
    string(APPEND overrides "${own}")
  endif()
  file(WRITE ${debian}/overrides/${package} "${overrides}")
  install(FILES ${debian}/overrides/${package} DESTINATION share/lintian/overrides COMPONENT ${component})

  # Debian's descriptions: a synopsis, then lines of at most 80 columns.
  set(description "${CPACK_DEBIAN_${upper}_DESCRIPTION}")
  string(FIND "${description}" "\n" end)
  if(end GREATER 0)
    string(SUBSTRING "${description}" 0 ${end} synopsis)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${description}" ${end} -1 text)
    string(REGEX REPLACE "[ \n]+" ";" words "${text}")
    set(wrapped "")
    set(line "")
    foreach(word IN LISTS words)
      string(LENGTH "${line} ${word}" length)
      if(line AND length GREATER 79)
        string(APPEND wrapped "\n${line}")
        set(line "${word}")
      elseif(line)
        string(APPEND line " ${word}")
      else()
        set(line "${word}")
      endif()
    endforeach()
    set(CPACK_DEBIAN_${upper}_DESCRIPTION "${synopsis}${wrapped}\n${line}")
  endif()
endforeach()

# The library: ldconfig runs through dpkg's trigger, not from maintainer scripts (CPack writes
# scripts that call it unless the package brings its own, which here do nothing).
foreach(script postinst postrm)
  file(WRITE ${debian}/runtime/${script} "#!/bin/sh\nset -e\n# ldconfig runs through the trigger (triggers).\nexit 0\n")
endforeach()
file(WRITE ${debian}/runtime/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${debian}/runtime/triggers ${debian}/runtime/postinst
    ${debian}/runtime/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Manual pages: help2man reads each program's --help (Debian's help2man package).
find_program(HELP2MAN_PROGRAM help2man)
if(HELP2MAN_PROGRAM)
  set(pages "")
  foreach(tool Benchtap scalesim scale-service)
    if(NOT TARGET ${tool})
      continue()
    endif()
    # help2man runs the program through a script of the program's name, which ends with status 0
    # (Benchtap's --help ends with 1, as its other early exits do), gives it a data folder, and
    # leaves out Benchtap's start time and log folder (a page is the same on every build).
    set(page ${PROJECT_BINARY_DIR}/man/${tool}.1)
    file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/man/bin/${tool}
         CONTENT "#!/bin/sh\nAPPDATA='${PROJECT_BINARY_DIR}/man/appdata' '$<TARGET_FILE:${tool}>' \"$@\" 2>&1 | sed '/^Runed:/d; /^Driver Logging Path:/d'\nexit 0\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(name_Benchtap "run JSON scripts of scale driver commands against one retail scale")
    set(name_scalesim "play a retail scale of any supported protocol on a pseudo-terminal or TCP")
    set(name_scale-service "serve the scales of this machine to point-of-sale pages over HTTP and WebSocket")
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man/appdata
      COMMAND ${HELP2MAN_PROGRAM} --no-info --version-string=${PROJECT_VERSION} --section=1 --source=Ponderix
              "--name=${name_${tool}}"
              --output=${page} ${PROJECT_BINARY_DIR}/man/bin/${tool}
      COMMAND ${GZIP_PROGRAM} -9nf ${page}
      DEPENDS ${tool}
      COMMENT "Manual page of ${tool}" VERBATIM)
    list(APPEND pages ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  endforeach()
  add_custom_target(manual-pages ALL DEPENDS ${pages})
else()
  message(STATUS "help2man not found: no manual pages (install Debian's help2man)")
endif()
