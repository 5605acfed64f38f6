veltrum_add_test(app_core_tests SOURCES app/StartupLoadTest.cpp LIBS Veltrum::Core)

if(VELTRUM_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Network)
  veltrum_add_test(main_window_tests QT SOURCES app/MainWindowTest.cpp
                   LIBS Veltrum::App veltrum_test_agents Qt6::Test Qt6::Network TIMEOUT 180)
  veltrum_add_test(poll_timer_tests QT SOURCES app/PollTimerTest.cpp LIBS Veltrum::App veltrum_test_agents Qt6::Test)
  veltrum_add_test(main_window_x_tests XVFB SOURCES app/MainWindowXvfbTest.cpp
                   LIBS Veltrum::App veltrum_test_agents Qt6::Test TIMEOUT 180)
endif()
