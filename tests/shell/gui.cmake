if(VELOCIMO_GUI)
    velocimo_test(shell_gui_tests GUI_MAIN
        SOURCES mainwindow_test.cpp
        LIBS velocimo_shell_qt velocimo_shell_app velocimo_settings velocimo_core)
    # The real program against a simulated receiver on a pseudo-terminal.
    velocimo_test(shell_e2e_tests GUI_MAIN
        SOURCES e2e_test.cpp
        LIBS velocimo_settings velocimo_shell_app)
    if(TARGET velocimo)
        add_dependencies(shell_e2e_tests velocimo)
    endif()
    if(TARGET velocimo-sim)
        add_dependencies(shell_e2e_tests velocimo-sim)
    endif()
endif()
