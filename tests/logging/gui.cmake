if(VELOCIMO_GUI)
    velocimo_test(logging_gui_tests GUI_MAIN
        SOURCES loggingdialog_test.cpp
        LIBS velocimo_logging_qt velocimo_logging velocimo_settings)
endif()
