velocimo_test(replay_tests
    SOURCES replay_test.cpp
    LIBS velocimo_replay)
target_compile_definitions(replay_tests PRIVATE VELOCIMO_REPLAY_BIN="$<TARGET_FILE:velocimo-replay>")
add_dependencies(replay_tests velocimo-replay)
