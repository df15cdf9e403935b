velocimo_test(logging_csvlog_tests
    SOURCES logformat_test.cpp logfile_test.cpp logflows_test.cpp
    LIBS velocimo_logging)
