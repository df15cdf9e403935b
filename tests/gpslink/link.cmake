# Serial link: framing, open/close paths and the watchdog with scripted devices, then the
# real termios port on pseudo-terminals.
velocimo_test(velocimo_link_test
    SOURCES link_test.cpp linkfakes.h
    LIBS velocimo_gpslink)
velocimo_test(velocimo_serialport_test
    SOURCES serialport_test.cpp linkfakes.h
    LIBS velocimo_gpslink util)
velocimo_test(velocimo_link_e2e_test
    SOURCES e2e_test.cpp linkfakes.h
    LIBS velocimo_gpslink)
target_compile_definitions(velocimo_link_e2e_test PRIVATE
    VELOCIMO_SIM_PATH="$<TARGET_FILE:velocimo-sim>")
add_dependencies(velocimo_link_e2e_test velocimo-sim)
