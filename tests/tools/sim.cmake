# velocimo-sim: drive, sentences and capture epochs, then the program itself.
velocimo_test(velocimo_sim_test
    SOURCES sim_test.cpp simprocess.h
    LIBS velocimo_sim)
target_compile_definitions(velocimo_sim_test PRIVATE
    VELOCIMO_SIM_PATH="$<TARGET_FILE:velocimo-sim>")
add_dependencies(velocimo_sim_test velocimo-sim)
