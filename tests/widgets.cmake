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
add_test(NAME veltrum_widgets_print
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/widgets/print_test.sh $<TARGET_FILE:veltrum_widgets_print_tests>)
set_tests_properties(veltrum_widgets_print PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" SKIP_RETURN_CODE 77 TIMEOUT 120)
