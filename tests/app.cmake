if(VELTRUM_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test Network)
  veltrum_add_test(main_window_tests QT SOURCES app/MainWindowTest.cpp
                   LIBS Veltrum::App veltrum_test_agents Qt6::Test Qt6::Network TIMEOUT 180)
  veltrum_add_test(poll_timer_tests QT SOURCES app/PollTimerTest.cpp LIBS Veltrum::App veltrum_test_agents Qt6::Test)
  veltrum_add_test(fiber_tests QT SOURCES app/FiberWakeUpsTest.cpp LIBS Veltrum::App Qt6::Test)
  veltrum_add_test(main_window_x_tests XVFB SOURCES app/MainWindowXvfbTest.cpp
                   LIBS Veltrum::App veltrum_test_agents Qt6::Test ${VELTRUM_XCB_LIBRARY} TIMEOUT 180)
  # Under a real window manager (openbox) on its own Xvfb: the stacking order
  # it reports keeps the main window above ordinary windows.
  add_executable(main_window_wm_tests app/MainWindowWmTest.cpp)
  target_link_libraries(main_window_wm_tests PRIVATE veltrum_test_main_qt Veltrum::App veltrum_test_agents
                                                     Qt6::Test ${VELTRUM_XCB_LIBRARY})
  add_test(NAME main_window_wm_tests
           COMMAND xvfb-run -a -s "-screen 0 1280x1024x24"
                   sh ${CMAKE_CURRENT_SOURCE_DIR}/app/under_openbox.sh $<TARGET_FILE:main_window_wm_tests>)
  set_tests_properties(main_window_wm_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 180)
endif()
if(VELTRUM_BUILD_GUI)
  veltrum_add_test(routers_tests QT SOURCES app/RoutersTest.cpp LIBS Veltrum::App veltrum_test_agents Qt6::Test
                   TIMEOUT 180)
  # The histories the routers kept, as `veltrum --usage --all` prints them.
  target_compile_definitions(routers_tests PRIVATE VELTRUM_PROGRAM="$<TARGET_FILE:veltrum>")
  add_dependencies(routers_tests veltrum)
endif()

# The tray icon in a real XEmbed tray (trayer) and against a StatusNotifierItem
# watcher, each on a private session bus; the script runs each protocol's
# suite in a process of its own.
if(VELTRUM_BUILD_GUI)
  add_executable(tray_tests app/TrayXvfbTest.cpp)
  target_link_libraries(tray_tests PRIVATE veltrum_test_main_qt Veltrum::App veltrum_test_agents Qt6::Test)
  add_test(NAME tray_tests COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/app/tray_test.sh $<TARGET_FILE:tray_tests>)
  # Clicks on a foreign tray's window are timed: nothing else runs meanwhile.
  set_tests_properties(tray_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb" SKIP_RETURN_CODE 77 TIMEOUT 120
                                             RUN_SERIAL TRUE)
endif()

# A router's notices against a real notification service (dunst), which the
# notification test's script starts on a private session bus; the binary
# alone is not a test.
if(VELTRUM_BUILD_GUI)
  add_executable(notices_dunst_tests app/NoticesDunstTest.cpp)
  target_link_libraries(notices_dunst_tests PRIVATE veltrum_test_main_qt Veltrum::App veltrum_test_agents Qt6::Test)
  add_test(NAME notices_dunst_tests
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/widgets/notification_test.sh $<TARGET_FILE:notices_dunst_tests> notices)
  set_tests_properties(notices_dunst_tests PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
