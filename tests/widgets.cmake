# Bar gauge, chart view and plain-text showing (widgets/).
if(NOT VELTRUM_BUILD_GUI)
  return()
endif()

veltrum_add_test(veltrum_widgets_tests QT
    SOURCES widgets/GaugeTest.cpp widgets/ChartTest.cpp widgets/ChartAxisTest.cpp widgets/PlainTextTest.cpp
    LIBS Veltrum::Widgets)

# Printing needs a CUPS server with a default printer, which the script
# starts; the binary alone is not a test of its own.
add_executable(veltrum_widgets_print_tests widgets/PrintTest.cpp)
target_link_libraries(veltrum_widgets_print_tests PRIVATE veltrum_test_main_qt Veltrum::Widgets Qt6::PrintSupport)
# A portable program loads its print module from its own folder only: the
# print tests get a copy beside them, as the program has one beside it.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/veltrum-print.so
                   COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:veltrum_print> ${CMAKE_CURRENT_BINARY_DIR}/veltrum-print.so
                   DEPENDS veltrum_print)
add_custom_target(veltrum_print_beside_tests DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/veltrum-print.so)
# A module of that name that must never be loaded (module_place_test.sh).
add_library(veltrum_planted_print MODULE widgets/PlantedModule.cpp)
set_target_properties(veltrum_planted_print PROPERTIES PREFIX "" OUTPUT_NAME veltrum-print
                                                       LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/planted)
add_dependencies(veltrum_widgets_print_tests veltrum_print_beside_tests veltrum_planted_print)
add_test(NAME veltrum_widgets_print
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/widgets/print_test.sh $<TARGET_FILE:veltrum_widgets_print_tests>)
set_tests_properties(veltrum_widgets_print PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" SKIP_RETURN_CODE 77 TIMEOUT 120)

add_test(NAME veltrum_widgets_print_module_place
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/widgets/module_place_test.sh
                 $<TARGET_FILE:veltrum_widgets_print_tests> $<TARGET_FILE:veltrum_planted_print>)
set_tests_properties(veltrum_widgets_print_module_place PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 60)

# A desktop notification on a private session bus, without and then with a
# real notification service (dunst on an Xvfb of its own), which the script
# starts; the binary alone is not a test of its own.
add_executable(veltrum_notification_tests widgets/DesktopNotificationTest.cpp)
target_link_libraries(veltrum_notification_tests PRIVATE veltrum_test_main_qt Veltrum::Widgets Qt6::DBus)
add_dependencies(veltrum_widgets_tests veltrum_notification_tests)
add_test(NAME veltrum_widgets_notification
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/widgets/notification_test.sh $<TARGET_FILE:veltrum_notification_tests>)
set_tests_properties(veltrum_widgets_notification PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" SKIP_RETURN_CODE 77 TIMEOUT 60)
