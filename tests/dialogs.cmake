# The settings dialog, the interface list, the profile commands and the About
# window, against scripted agents and a real snmpd inside the test's namespace.
if(VELTRUM_BUILD_GUI)
  veltrum_add_test(dialogs_tests QT
    SOURCES dialogs/KonfiguracjaTest.cpp dialogs/ProfileCommandsTest.cpp dialogs/OprogramieTest.cpp
            dialogs/ScriptedAgentTest.cpp dialogs/RealAgentTest.cpp
    LIBS Veltrum::App veltrum_test_agents TIMEOUT 300)
endif()
# The settings dialog with a stand-in for the monitor, linking no window but its own.
if(VELTRUM_BUILD_GUI)
  veltrum_add_test(dialogs_alone_tests QT SOURCES dialogs/FakeMonitorTest.cpp LIBS Veltrum::Dialogs)
endif()
# The SNMPv3 passphrases in a Secret Service (gnome-keyring) on a private
# session bus, which the script starts.
if(VELTRUM_BUILD_GUI)
  add_test(NAME dialogs_keyring_tests
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/dialogs/keyring_test.sh $<TARGET_FILE:dialogs_tests>)
  set_tests_properties(dialogs_keyring_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                       SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
