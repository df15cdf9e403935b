if(VELOCIMO_GUI)
    add_executable(alarm_gui_tests qtsoundplayer_test.cpp)
    target_link_libraries(alarm_gui_tests PRIVATE velocimo_alarm_qt GTest::gtest)
    target_compile_definitions(alarm_gui_tests PRIVATE
        VELOCIMO_BINARY_DIR="${CMAKE_BINARY_DIR}" VELOCIMO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_dependencies(alarm_gui_tests velocimo_sounds)
    gtest_discover_tests(alarm_gui_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()
