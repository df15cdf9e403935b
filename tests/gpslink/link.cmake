# Serial link: framing, open/close paths and the watchdog with scripted devices, then the
# real termios port on pseudo-terminals.
velocimo_test(velocimo_link_test
    SOURCES link_test.cpp linkfakes.h
    LIBS velocimo_gpslink)
velocimo_test(velocimo_serialport_test
    SOURCES serialport_test.cpp linkfakes.h
    LIBS velocimo_gpslink util)
