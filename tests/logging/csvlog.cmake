velocimo_test(logging_csvlog_tests
    SOURCES csvlog_test.cpp
    LIBS velocimo_logging)
