if(VELOCIMO_GUI)
    if(NOT COMMAND velocimo_gui_test)
        # A GUI test brings its own main(), which selects the offscreen platform first.
        function(velocimo_gui_test name)
            cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
            add_executable(${name} ${T_SOURCES})
            target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test GTest::gtest)
            target_compile_definitions(${name} PRIVATE
                VELOCIMO_SHARED_NMEA="${VELOCIMO_SHARED_NMEA}"
                VELOCIMO_BINARY_DIR="${CMAKE_BINARY_DIR}"
                VELOCIMO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
            gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
        endfunction()
    endif()
    velocimo_gui_test(settings_gui_tests
        SOURCES dialogs_test.cpp
        LIBS velocimo_settings_qt velocimo_settings velocimo_trip)
endif()
