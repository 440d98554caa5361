/* The device library's header and every function, from plain C. */
#define _POSIX_C_SOURCE 200809L
#include "posdll/posdll.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int failures = 0;

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: %s (last error: %s)\n", __FILE__, __LINE__, #cond,             \
                    POS_LastError());                                                              \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

int main(void) {
    static const unsigned char frame[11] = {0x1F, 0x1B, 0x1F, 0xC0, 0x10, 0x11,
                                            0x12, 0x13, 0x14, 0x15, 0xAA};
    char path[] = "/tmp/posdll-c-XXXXXX";
    unsigned char back[32];
    FILE *f;
    size_t n;
    int fd = mkstemp(path);
    int handle;
    int waitMillis = 0;
    POS_PendingEnd *pending = (POS_PendingEnd *)&waitMillis; /* must come back NULL */
    CHECK(fd >= 0);
    close(fd);
    setenv("POSDLL_PORT_LPT9", path, 1);
    setenv("POSDLL_ALLOW_FILES", "1", 1); /* a file stands in for the printer */

    /* Every call fails cleanly with no port open. */
    CHECK(POS_StartDoc() == -1 && strstr(POS_LastError(), "no port is open") != NULL);
    CHECK(POS_WriteFile(1, frame, 11) == -1);
    CHECK(POS_EndDoc() == -1);
    CHECK(POS_EndDocLater(NULL) == -1);
    CHECK(POS_PendingEndFd(NULL) == -1);
    CHECK(POS_PendingEndCheck(NULL, &waitMillis) == -1);
    CHECK(POS_PendingEndClose(NULL) == -1);
    CHECK(POS_Close() == -1);
    CHECK(POS_SetDocName(NULL) == -1);
    CHECK(POS_Open(NULL, 0, 0, 0, 0, POS_PORT_PARALLEL) == -1);
    CHECK(POS_Open("LPT9", 0, 0, 0, 0, 99) == -1 &&
          strstr(POS_LastError(), "unknown port type 99") != NULL);

    /* The system's error behind a failure, and none behind a bad argument. */
    CHECK(POS_Open("LPT255", 0, 0, 0, 0, POS_PORT_PARALLEL) == -1 && POS_LastErrno() == ENOENT);

    /* The print server's calls check their arguments before asking it; its name is cut to fit. */
    CHECK(POS_EnumQueues(NULL, NULL) == -1 && POS_LastErrorKind() == POS_ERR_BAD_ARGUMENT &&
          POS_LastErrno() == 0);
    CHECK(POS_EnumQueueStates(NULL, NULL) == -1 && POS_LastErrorKind() == POS_ERR_BAD_ARGUMENT);
    CHECK(POS_QueueState(NULL, NULL, 0, NULL, 0) == -1 &&
          POS_LastErrorKind() == POS_ERR_BAD_ARGUMENT);
    CHECK(POS_PrintServer((char *)back, 4) >= 0 && strlen((const char *)back) <= 3);

    /* One document to a file standing in for a parallel printer. */
    CHECK(POS_SetDocName("c linkage") == 0);
    handle = POS_Open("LPT9", 0, 0, 0, 0, POS_PORT_PARALLEL);
    CHECK(handle > 0);
    CHECK(strcmp(POS_LastError(), "") == 0);
    CHECK(POS_DiscardInput(handle) == -1 && POS_LastErrorKind() == POS_ERR_NO_BACK_CHANNEL);
    CHECK(POS_StartDoc() == 0);
    CHECK(POS_WriteFile(handle, frame, (int)sizeof frame) == (int)sizeof frame);
    /* A port whose end is no wait on a printer ends at once and stays open. */
    CHECK(POS_EndDocLater(&pending) == 0 && pending == NULL);
    CHECK(POS_Close() == 0);

    f = fopen(path, "rb");
    CHECK(f != NULL);
    n = f ? fread(back, 1, sizeof back, f) : 0;
    if (f)
        fclose(f);
    CHECK(n == sizeof frame && memcmp(back, frame, n) == 0);
    unlink(path);
    return failures == 0 ? 0 : 1;
}
