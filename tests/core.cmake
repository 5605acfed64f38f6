# The window-free computation: number texts and the poll cycle, the latter
# driven through the SNMP client against a scripted agent on the loopback.
veltrum_add_test(core_tests
    SOURCES core/FailureReasonTest.cpp core/FormattingTest.cpp core/GraphResetTest.cpp core/PollCycleTest.cpp
            core/InterfaceWalkTest.cpp core/AgentQueryTest.cpp
    LIBS Veltrum::Core veltrum_test_agents)
