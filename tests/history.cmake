# The usage history: the accounting (through the real poll against a
# scripted agent), rows and their boundaries, the store's faults, two
# copies, kills during flushes, and the texts of `--usage`.
veltrum_add_test(history_tests
    SOURCES history/CalendarTest.cpp history/UsageRecorderTest.cpp history/UsageStoreTest.cpp
            history/UsageReportTest.cpp
    LIBS Veltrum::History Veltrum::Core veltrum_test_agents TIMEOUT 300)
# lo's packets in against out across an agent's restart: any other test's
# traffic on lo meanwhile would be counted too, so this one runs alone.
add_test(NAME history_agent_restart
         COMMAND history_tests --gtest_filter=UsageRecorder.AgentRestartCountsPacketsInAndOutAlike)
set_tests_properties(history_agent_restart PROPERTIES ENVIRONMENT "VELTRUM_RUN_ALONE=1" RUN_SERIAL TRUE TIMEOUT 120)
if(VELTRUM_BUILD_GUI)
  add_test(NAME veltrum_usage_command
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/history/usage_command_test.sh $<TARGET_FILE:veltrum>)
  set_tests_properties(veltrum_usage_command PROPERTIES TIMEOUT 60)
endif()
