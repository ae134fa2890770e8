# scale-service as a Windows service: the platform layer's service host, and the message table
# the Event Log reads the service's events with (scale-service.exe is its own message file).
target_link_libraries(scale-service PRIVATE ponderix_platform)
if(NOT WIN32)
  return()
endif()
target_link_libraries(ponderix_platform PUBLIC advapi32)
string(REGEX REPLACE "windres$" "windmc" PONDERIX_WINDMC "${CMAKE_RC_COMPILER}")
set(messages ${PROJECT_BINARY_DIR}/service-messages)
add_custom_command(OUTPUT ${messages}/service-messages.o
  COMMAND ${CMAKE_COMMAND} -E make_directory ${messages}
  COMMAND ${PONDERIX_WINDMC} -h ${messages} -r ${messages} ${PROJECT_SOURCE_DIR}/platform/service-messages.mc
  COMMAND ${CMAKE_RC_COMPILER} -I ${messages} ${messages}/service-messages.rc -O coff -o ${messages}/service-messages.o
  DEPENDS ${PROJECT_SOURCE_DIR}/platform/service-messages.mc
  COMMENT "Message table of scale-service.exe")
# Built here and linked there (a rule's output is seen only by targets of its own folder).
add_custom_target(scale-service-messages DEPENDS ${messages}/service-messages.o)
add_dependencies(scale-service scale-service-messages)
target_link_libraries(scale-service PRIVATE ${messages}/service-messages.o)
