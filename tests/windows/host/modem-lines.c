/* A stand-in for the modem lines of a serial adapter, for the tests under Wine only: preloaded
 * into Wine, it answers the modem-line requests (TIOCMGET, TIOCMSET, TIOCMBIS, TIOCMBIC) that
 * a pseudo-terminal refuses, keeping the lines' state per descriptor, so that SioDTR and SioRTS
 * succeed on a pseudo-terminal as they do on a real port. Every other request, and every
 * request that the terminal itself answers, goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>

typedef int (*IoctlFunction)(int, unsigned long, ...);

static int lines[1024];

int ioctl(int fd, unsigned long request, ...) {
    static IoctlFunction real;
    if (!real) {
        real = (IoctlFunction)dlsym(RTLD_NEXT, "ioctl");
    }
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);

    const int result = real(fd, request, argument);
    const int modemRequest =
        request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
    if (result == 0 || !modemRequest || fd < 0 || fd >= 1024 || !argument ||
        (errno != EINVAL && errno != ENOTTY && errno != EIO)) {
        return result;
    }
    int* bits = (int*)argument;
    if (request == TIOCMGET) {
        /* CTS, DSR and carrier present, as an adapter with a device attached reports them. */
        *bits = lines[fd] | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
    } else if (request == TIOCMSET) {
        lines[fd] = *bits;
    } else if (request == TIOCMBIS) {
        lines[fd] |= *bits;
    } else {
        lines[fd] &= ~*bits;
    }
    errno = 0;
    return 0;
}
