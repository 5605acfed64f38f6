# Graph windows and window opacity.
if(VELTRUM_BUILD_GUI)
  # The graph windows need only the chart view, the state headers and the error
  # box; a library of their own keeps these tests independent of the rest of
  # the GUI library while that is being written.
  add_library(veltrum_graphs_under_test STATIC
      ${PROJECT_SOURCE_DIR}/graphs/Wykres.cpp ${PROJECT_SOURCE_DIR}/graphs/WykresPkt.cpp
      ${PROJECT_SOURCE_DIR}/graphs/Opacity.cpp ${PROJECT_SOURCE_DIR}/graphs/GraphCommon.cpp
      ${PROJECT_SOURCE_DIR}/graphs/Wykres.h ${PROJECT_SOURCE_DIR}/graphs/WykresPkt.h
      ${PROJECT_SOURCE_DIR}/app/ErrorBox.cpp)
  target_link_libraries(veltrum_graphs_under_test PUBLIC Veltrum::Widgets Qt6::Widgets)
  target_include_directories(veltrum_graphs_under_test PUBLIC ${PROJECT_SOURCE_DIR})

  veltrum_add_test(graphs_tests QT
    SOURCES graphs/GraphWindowsTest.cpp graphs/OpacityTest.cpp
    LIBS veltrum_graphs_under_test)
endif()
