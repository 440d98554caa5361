/* posdll: the device library that delivers command frames to a receipt printer.
 *
 * One open port per calling thread: POS_StartDoc, POS_EndDoc and POS_Close act on the port that
 * the same thread opened last. Every failing call returns -1 and leaves a readable reason, naming
 * the port, the device path, address or queue and the system's reason, in POS_LastError().
 * Nothing is printed and no signal is raised (SIGPIPE is never delivered by a write).
 */
#ifndef POSDLL_H
#define POSDLL_H

#if defined(__GNUC__)
#define POSDLL_API __attribute__((visibility("default")))
#else
#define POSDLL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Port-type codes of POS_Open. */
#define POS_PORT_SERIAL 1
#define POS_PORT_PARALLEL 18
#define POS_PORT_SPOOL 20
#define POS_PORT_NETWORK 21

/**
 * Opens a port, closing any port this thread still had open.
 *
 * @param name      network: "ADDRESS[:PORT]" with ADDRESS an IPv4 address, a host name or
 *                  "[v6]" (port 9100 when none is given); serial: "COMn" (n >= 1, the device
 *                  /dev/ttyS(n-1), or $POSDLL_PORT_COMn); parallel: "LPTn" (/dev/lp(n-1), else
 *                  /dev/usb/lp(n-1), or $POSDLL_PORT_LPTn); spool: the name of a print queue.
 *                  A serial path must lead to a terminal, a parallel one to a parallel or
 *                  USB printer's character device or a FIFO; when $POSDLL_ALLOW_FILES is 1
 *                  also to a regular file or another character device (/dev/null), never
 *                  to memory or storage nor into /proc or /sys. Network addresses of no
 *                  single host (0.0.0.0/8, multicast, 240.0.0.0/4) are refused.
 * @param baud      serial only: 9600, 19200, 38400, 115200 (or another standard rate).
 * @param dataBits  serial only: 5 to 8.
 * @param stopBits  serial only: 0 for one stop bit, 2 for two.
 * @param parity    serial only: 0 none, 1 odd, 2 even.
 * @param portType  one of the POS_PORT_ codes.
 * @return a handle > 0 on success, -1 on failure.
 */
POSDLL_API int POS_Open(const char *name, int baud, int dataBits, int stopBits, int parity,
                        int portType);

/**
 * Begins one document on the open port (a print job on a spool port).
 * @return 0 on success, -1 on failure (no port open, or the job could not be created).
 */
POSDLL_API int POS_StartDoc(void);

/**
 * Writes bytes to the open port, all of them or fail, waiting a bounded time.
 * @param handle the handle POS_Open returned.
 * @return the number of bytes written (count) on success, -1 on failure; a port that stops
 *         taking bytes part way gives -1 with the count written so far in the reason.
 */
POSDLL_API int POS_WriteFile(int handle, const unsigned char *bytes, int count);

/**
 * Ends the document: the bytes are handed on (network: acknowledged by the printer, which has
 * not reset or shut the connection; serial: output drained; print queue: job taken by the print
 * server, or delivered when POS_SetDeliveryWait asked for it), each within a bounded time.
 * @return 0 on success, -1 when the document was refused or could not be finished.
 */
POSDLL_API int POS_EndDoc(void);

/* A document whose end its caller watches (POS_EndDocLater). */
typedef struct POS_PendingEnd POS_PendingEnd;

/**
 * Ends the document as POS_EndDoc does, except that on a network port the wait for the
 * printer (its acknowledgement of every byte, then half a second for a late reset) is handed to
 * the caller, who may watch many such ends on one thread: the connection leaves this thread,
 * which then has no port open (POS_Close is not called for it), and becomes *pending. Other
 * ports end at once as with POS_EndDoc, leaving *pending NULL and the port open.
 * A pending end keeps the bounds of the thread that handed it over, and its rules are those of
 * POS_EndDoc: watch POS_PendingEndFd for input, look with POS_PendingEndCheck when input comes
 * or the wait it gave has passed, and release it with POS_PendingEndClose.
 * @param pending where the pending end goes; NULL when none was handed over.
 * @return 0 when the end was handed over or ended well, -1 when the document was refused or
 *         could not be finished (as POS_EndDoc; the port stays open).
 */
POSDLL_API int POS_EndDocLater(POS_PendingEnd **pending);

/**
 * @return the descriptor of a pending end's connection, owned by it: watch it for input
 *         edge-triggered (EPOLLIN | EPOLLET), since once the printer has closed its side it stays
 *         readable. -1 when pending is NULL.
 */
POSDLL_API int POS_PendingEndFd(const POS_PendingEnd *pending);

/**
 * Looks at a pending end now: what the printer sent, its acknowledgements, the bounds.
 * Thread-safe for different pending ends; a failure's reason goes to the calling thread's
 * POS_LastError().
 * @param pending    from POS_EndDocLater.
 * @param waitMillis when it returns 0: how long (ms) until the next look, unless input comes.
 * @return 1 when the document ended well, 0 while it is still pending, -1 when it failed (a reset
 *         or close before every byte was acknowledged, nothing acknowledged within the bound).
 */
POSDLL_API int POS_PendingEndCheck(POS_PendingEnd *pending, int *waitMillis);

/**
 * Closes a pending end's connection, whatever its state, and frees it (as POS_Close).
 * @return 0 on success, -1 when pending is NULL or the system reported a failure.
 */
POSDLL_API int POS_PendingEndClose(POS_PendingEnd *pending);

/**
 * Sets how long POS_EndDoc waits, on this thread, for a print queue to deliver its job: until the
 * print server reports the job completed. A job the server cancels or aborts, or one not
 * completed within the time, fails POS_EndDoc; one not completed in time is cancelled so that
 * it cannot print later, and the reason says whether the server confirmed the cancel.
 * The setting stays for the thread's later documents; other kinds of port ignore it.
 * @param millis 0 (the default) to end as soon as the server has taken the job, else the wait.
 * @return 0 on success, -1 when millis is negative.
 */
POSDLL_API int POS_SetDeliveryWait(int millis);

/**
 * Cuts short, from any thread, every delivery wait of the process (POS_SetDeliveryWait): those in
 * progress and those that start later end at most millis from now, as a wait that ran out does
 * (the job cancelled, POS_EndDoc failing). A later call only brings the end nearer. Meant for a
 * program asked to stop, so a job neither holds it up nor prints after it ended.
 * @param millis 0 to end them at once, or more.
 * @return 0 on success, -1 when millis is negative.
 */
POSDLL_API int POS_CutDeliveryWaits(int millis);

/**
 * Releases the port opened last, so the next POS_Open can take it again.
 * @return 0 on success, -1 when no port was open or the system reported a failure.
 */
POSDLL_API int POS_Close(void);

/**
 * Names the next document (the title of a print job on a spool port). Optional.
 * @return 0 on success, -1 when title is NULL.
 */
POSDLL_API int POS_SetDocName(const char *title);

/**
 * Reads what the printer sent back on the open port (network, serial, and parallel ports whose
 * device can be read, such as /dev/usb/lpN), waiting at most timeoutMillis for the first byte.
 * @param handle        the handle POS_Open returned.
 * @param buffer        where the bytes go.
 * @param count         the most bytes to read (>= 1).
 * @param timeoutMillis how long to wait for a byte (0: only what is already there).
 * @return the number of bytes read (1 to count), 0 when nothing came within the wait,
 *         -1 on failure (the printer closed or reset the connection, the port cannot be read,
 *         or a print queue, which has no way back from the printer).
 */
POSDLL_API int POS_ReadFile(int handle, unsigned char *buffer, int count, int timeoutMillis);

/**
 * Throws away what the printer sent that was not read yet (network: reads until nothing is
 * left; serial: flushes the line's input), so that the next byte read answers the next request.
 * @param handle the handle POS_Open returned.
 * @return 0 on success, -1 on failure; a port that passes nothing back from the printer (a print
 *         queue, a parallel port or a FIFO or file opened for writing only) fails with
 *         POS_ERR_NO_BACK_CHANNEL, so a caller learns it before it sends a request.
 */
POSDLL_API int POS_DiscardInput(int handle);

/**
 * Sets the bounds this thread's later calls wait: connectMillis for POS_Open to reach a
 * network printer (name lookup included), writeMillis for a port to take more bytes and for
 * the end of a document. A value <= 0 restores that bound's default. Print queues keep bounds of
 * their own, for reaching the print server (3 s) and for each of its answers (5 s), which
 * $POSDLL_PRINT_SERVER_MILLIS (1 to 600000) sets for the whole process.
 * @return 0.
 */
POSDLL_API int POS_SetTimeouts(int connectMillis, int writeMillis);

/* The bounds a thread's calls wait until POS_SetTimeouts sets others. */
#define POS_DEFAULT_CONNECT_MILLIS 3000
#define POS_DEFAULT_WRITE_MILLIS 5000

/**
 * Names the print server that print queues are reached through, as libcups is set up
 * (CUPS_SERVER, client.conf, else the local default).
 * @param buffer receives "HOST:PORT" or the path of the server's local socket, cut to size - 1
 *               bytes and ended by a NUL; may be NULL when size is 0.
 * @param size   the buffer's size in bytes.
 * @return the length of the whole name (more than size - 1 when it was cut), -1 on failure.
 */
POSDLL_API int POS_PrintServer(char *buffer, int size);

/**
 * Lists the print server's queues and classes, in its order (by name), with one request, every
 * wait bounded as for a print queue's port.
 * @param each    called once per queue with its name (valid during the call) and context.
 * @param context passed on to each.
 * @return the number of queues (0 for a server without any), -1 when the server could not be
 *         reached (POS_ERR_REFUSED) or gave no usable answer (POS_ERR_TIMEOUT); POS_LastError
 *         names the server and says why.
 */
POSDLL_API int POS_EnumQueues(void (*each)(const char *name, void *context), void *context);

/* The state of a print queue (POS_QueueState, POS_EnumQueueStates). */
#define POS_QUEUE_EXISTS 1
#define POS_QUEUE_ACCEPTING 2  /* takes new jobs */
#define POS_QUEUE_STOPPED 4    /* holds its jobs back */
#define POS_QUEUE_PROCESSING 8 /* printing a job now */

/**
 * Lists the print server's queues as POS_EnumQueues does, each with its state, as
 * `lpstat -p -v` shows it.
 * @param each    called once per queue with its name, its state (POS_QUEUE_ACCEPTING,
 *                POS_QUEUE_STOPPED, POS_QUEUE_PROCESSING; none: idle and refusing jobs), its
 *                device URI ("" when the server gives none), all valid during the call, and
 *                context.
 * @param context passed on to each.
 * @return as POS_EnumQueues.
 */
POSDLL_API int POS_EnumQueueStates(void (*each)(const char *name, int state, const char *deviceUri,
                                                void *context),
                                   void *context);

/**
 * Asks the print server about one queue.
 * @param queue       the queue's name.
 * @param message     receives the server's message about the queue (often why it was stopped),
 *                    cut to size - 1 bytes and ended by a NUL; may be NULL when size is 0.
 * @param size        the message buffer's size in bytes.
 * @param trouble     receives what the server knows of trouble with the printer behind the queue
 *                    ("" when none), cut and ended as message; may be NULL when troubleSize is 0.
 * @param troubleSize the trouble buffer's size in bytes.
 * @return 0 when there is no such queue, else POS_QUEUE_EXISTS with POS_QUEUE_ACCEPTING and
 *         POS_QUEUE_STOPPED as they apply; -1 when the server could not be reached
 *         (POS_ERR_REFUSED) or gave no usable answer (POS_ERR_TIMEOUT).
 */
POSDLL_API int POS_QueueState(const char *queue, char *message, int size, char *trouble,
                              int troubleSize);

/* What kind of failure the last failing call of this thread met (POS_LastErrorKind). */
#define POS_ERR_NONE 0             /* no failure */
#define POS_ERR_INTERNAL 1         /* anything not listed below */
#define POS_ERR_REFUSED 2          /* the printer refused the connection */
#define POS_ERR_TIMEOUT 3          /* no answer or no progress within the bound */
#define POS_ERR_RESET 4            /* the printer reset the connection */
#define POS_ERR_CLOSED 5           /* the printer closed the connection */
#define POS_ERR_BUSY 6             /* another program holds the port */
#define POS_ERR_DENIED 7           /* no permission to use the port */
#define POS_ERR_MISSING 8          /* no such device, host or print queue */
#define POS_ERR_NOT_DEVICE 9       /* the path is not a device of that kind */
#define POS_ERR_QUEUE 10           /* the print queue refused: stopped, not accepting, job failed */
#define POS_ERR_BAD_ARGUMENT 11    /* the call's arguments are wrong (bad port name or address) */
#define POS_ERR_UNREACHABLE 12     /* no route to the printer's network or host */
#define POS_ERR_NO_BACK_CHANNEL 13 /* the port passes nothing back from the printer */
/* No file descriptor was left to open the port: this process reached its open-file limit
 * (EMFILE) or the system its own (ENFILE). Another try once some are closed may succeed. */
#define POS_ERR_NO_DESCRIPTORS 14

/**
 * @return one of the POS_ERR_ codes for the last failure of a call made by this thread, kept
 *         together with POS_LastError(); POS_ERR_NONE when none.
 */
POSDLL_API int POS_LastErrorKind(void);

/**
 * @return the system's error number (an errno value such as ECONNREFUSED or ENOENT) behind the
 *         last failure of a call made by this thread, kept together with POS_LastError(); 0 when
 *         none, or when the failure had no system error behind it (a bad argument, a printer
 *         that broke the protocol, a bound of the library's own that ran out).
 */
POSDLL_API int POS_LastErrno(void);

/**
 * @return the reason for the last failure of a call made by this thread, "" when none.
 *         The text stays valid until the next call by the same thread.
 */
POSDLL_API const char *POS_LastError(void);

#ifdef __cplusplus
}
#endif

#endif /* POSDLL_H */
