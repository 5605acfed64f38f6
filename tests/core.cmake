# The window-free computation: number texts and the poll cycle.
veltrum_add_test(core_tests
    SOURCES core/FormattingTest.cpp core/PollCycleTest.cpp
    LIBS Veltrum::Core)
