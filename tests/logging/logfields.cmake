velocimo_test(velocimo_logfields_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/logfields_test.cpp
    LIBS velocimo_logging)
