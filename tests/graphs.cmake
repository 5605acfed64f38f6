# Graph windows and window opacity.
if(VELTRUM_BUILD_GUI)
  veltrum_add_test(graphs_tests QT
    SOURCES graphs/GraphWindowsTest.cpp graphs/OpacityTest.cpp graphs/UsageWindowTest.cpp
    LIBS Veltrum::Graphs veltrum_test_agents)
endif()
