if(VELOCIMO_GUI)
    # Own main(): the offscreen platform is chosen before the application object exists.
    add_executable(dashboard_gui_tests dashboard_gui_test.cpp)
    target_link_libraries(dashboard_gui_tests PRIVATE velocimo_dashboard_qt velocimo_nmea
                          GTest::gtest)
    target_compile_definitions(dashboard_gui_tests PRIVATE
        VELOCIMO_SHARED_NMEA="${VELOCIMO_SHARED_NMEA}"
        VELOCIMO_BINARY_DIR="${CMAKE_BINARY_DIR}")
    gtest_discover_tests(dashboard_gui_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()
