# The program as users start it: its command line, and the Debian package
# that scripts/package builds (scripts/test builds it first and names its
# folder in VELTRUM_PACKAGE_DIR; without it the package test is skipped).
if(NOT VELTRUM_BUILD_GUI)
  return()
endif()

add_test(NAME veltrum_command_line
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/dist/command_line_test.sh $<TARGET_FILE:veltrum>)
set_tests_properties(veltrum_command_line PROPERTIES TIMEOUT 60)

add_test(NAME veltrum_package
         COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" ${CMAKE_CURRENT_SOURCE_DIR}/dist/package_test.sh)
set_tests_properties(veltrum_package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
