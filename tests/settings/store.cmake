velocimo_test(velocimo_store_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/store_test.cpp
    LIBS velocimo_settings)
