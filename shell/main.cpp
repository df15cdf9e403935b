// velocimo: the GPS speed monitor.

#include "shell/desktop.h"
#include "shell/singleinstance.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace velocimo;

    // The one argument the program knows; any other is ignored as it always was.
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("Velocimo " VELOCIMO_VERSION);
        return 0;
    }

    // One program per user: a second start hands over to the first and ends here, before
    // any window or port is touched.
    const std::string directory = controlDirectory(std::getenv("XDG_RUNTIME_DIR"), ::getuid());
    std::string error;
    if (!preparePrivateDirectory(directory, ::getuid(), error)) {
        std::fprintf(stderr, "velocimo: %s\n", error.c_str());
        return 1;
    }
    const std::string socketPath = controlSocketPath(directory);
    const InstanceClaim claim = claimInstance(socketPath);
    if (claim.role == InstanceRole::Secondary) {
        return 0;
    }
    if (claim.role == InstanceRole::Failed) {
        std::fprintf(stderr, "velocimo: %s\n", claim.error.c_str());
        return 1;
    }

    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Velocimo"));
    application.setDesktopFileName(QStringLiteral(VELOCIMO_APP_ID));
    application.setQuitOnLastWindowClosed(false);
    Desktop desktop(claim.listenFd, socketPath);
    if (!desktop.start()) {
        return 0;
    }
    const int code = application.exec();
    desktop.shutdown();
    return code;
}
