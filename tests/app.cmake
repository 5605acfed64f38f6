veltrum_add_test(app_core_tests SOURCES app/StartupLoadTest.cpp LIBS Veltrum::Core)
