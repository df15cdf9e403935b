if(VELOCIMO_GUI)
    velocimo_test(settings_gui_tests GUI_MAIN
        SOURCES dialogs_test.cpp
        LIBS velocimo_settings_qt velocimo_settings velocimo_trip)
endif()
