veltrum_add_test(settings_tests
  SOURCES settings/IniFileTest.cpp settings/ProfileFilesTest.cpp
  LIBS Veltrum::Settings)
