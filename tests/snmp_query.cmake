# Socket layer and SNMP query suites, and the test agents other suites use.
find_package(Threads REQUIRED)

# ScriptedResponder (a UDP agent whose answers a test scripts) and
# SnmpdAgent (net-snmp's snmpd on 127.0.0.1).
add_library(veltrum_test_agents STATIC support/ScriptedResponder.cpp support/SilentNameServer.cpp support/TableAgent.cpp
                                       support/SnmpdAgent.cpp)
target_include_directories(veltrum_test_agents PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(veltrum_test_agents PUBLIC Veltrum::Snmp Threads::Threads)

veltrum_add_test(snmp_stack_tests SOURCES snmp/IdStackTest.cpp snmp/HostLookUpTest.cpp LIBS Veltrum::Snmp)
veltrum_add_test(snmp_query_tests SOURCES snmp/IdSNMPTest.cpp LIBS veltrum_test_agents)
veltrum_add_test(snmp_agent_tests SOURCES snmp/SnmpdIntegrationTest.cpp LIBS veltrum_test_agents TIMEOUT 180)
veltrum_add_test(snmp_v3_tests SOURCES snmp/V3MessageTest.cpp LIBS Veltrum::Snmp veltrum_test_agents)
veltrum_add_test(snmp_v3_agent_tests SOURCES snmp/V3AgentTest.cpp LIBS veltrum_test_agents TIMEOUT 180)
