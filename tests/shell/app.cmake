velocimo_test(shell_app_tests
    SOURCES app_test.cpp singleinstance_test.cpp
    LIBS velocimo_shell_app)
velocimo_test(shell_program_tests
    SOURCES program_test.cpp
    LIBS velocimo_shell_program)
