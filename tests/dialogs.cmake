# The settings dialog, the interface list, the profile commands and the About
# window, against scripted agents and a real snmpd inside the test's namespace.
if(VELTRUM_BUILD_GUI)
  veltrum_add_test(dialogs_tests QT
    SOURCES dialogs/KonfiguracjaTest.cpp dialogs/ProfileCommandsTest.cpp dialogs/OprogramieTest.cpp
            dialogs/ScriptedAgentTest.cpp dialogs/RealAgentTest.cpp
    LIBS Veltrum::Gui veltrum_test_agents TIMEOUT 300)
endif()
