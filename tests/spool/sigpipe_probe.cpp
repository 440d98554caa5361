// Runs one document to the print queue argv[1] with SIGPIPE set as argv[2] says ("default" or
// "ignore"), in a process of its own, where libcups has not been set up by anyone else. Prints
// how SIGPIPE is set afterwards and exits 0 when that is unchanged.
#include "posdll/posdll.h"

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    const auto wanted = std::strcmp(argv[2], "ignore") == 0 ? SIG_IGN : SIG_DFL;
    std::signal(SIGPIPE, wanted);
    const unsigned char frame[] = {0x1F, 0x1B, 0x1F, 0x93, 0x10, 0x11,
                                   0x12, 0x15, 0x16, 0x17, 0x10, 0x00};
    const int handle = POS_Open(argv[1], 0, 0, 0, 0, POS_PORT_SPOOL);
    POS_StartDoc();
    for (int i = 0; i < 64; ++i) // more than one send, so a reset connection raises SIGPIPE
        POS_WriteFile(handle, frame, sizeof frame);
    const int end = POS_EndDoc();
    std::printf("end %d: %s\n", end, POS_LastError());
    POS_Close();
    struct sigaction now {};
    sigaction(SIGPIPE, nullptr, &now);
    const bool same = now.sa_handler == wanted;
    std::printf("SIGPIPE %s\n", now.sa_handler == SIG_IGN   ? "ignore"
                                : now.sa_handler == SIG_DFL ? "default"
                                                            : "handled");
    return same ? 0 : 1;
}
