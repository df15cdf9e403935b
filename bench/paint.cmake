# The dashboard painted into its back buffer, one page at a time.
if(VELOCIMO_GUI)
    add_executable(bench_paint bench_paint.cpp)
    target_link_libraries(bench_paint PRIVATE velocimo_dashboard_qt benchmark::benchmark)
endif()
