# The monitor and its window-free computation: the start-up load, number
# texts, the poll cycle and the interface check, driven through the SNMP
# client against scripted agents on the loopback.
veltrum_add_test(core_tests
    SOURCES core/FailureReasonTest.cpp core/FormattingTest.cpp core/GraphResetTest.cpp core/PollCycleTest.cpp
            core/InterfaceWalkTest.cpp core/AgentQueryTest.cpp core/MonitorTest.cpp core/StartupLoadTest.cpp
            core/TwoCopiesTest.cpp core/QuotaTest.cpp core/UsageFiguresTest.cpp core/NoticesTest.cpp
    LIBS Veltrum::Core veltrum_test_agents)
# A steady flow on lo read through a real agent's cache: any other test's
# traffic on lo meanwhile would make the bars uneven, so this one runs alone.
add_test(NAME core_steady_flow
         COMMAND core_tests --gtest_filter=RunPollCycleCachingAgent.RealAgentShowsASteadyFlowSteadily)
set_tests_properties(core_steady_flow PROPERTIES ENVIRONMENT "VELTRUM_RUN_ALONE=1" RUN_SERIAL TRUE TIMEOUT 120)
