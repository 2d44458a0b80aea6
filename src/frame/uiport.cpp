#include "frame/uiport.h"

#include <poll.h>
#include <unistd.h>

namespace qelp {

void NullUiPort::waitForEvents(DirectoryWatch* watch, int timeoutMs) {
    int fd = watch ? static_cast<int>(watch->nativeHandle()) : -1;
    if (fd >= 0) {
        pollfd pfd{fd, POLLIN, 0};
        ::poll(&pfd, 1, timeoutMs);
        watch->drain();
    } else if (timeoutMs > 0) {
        ::usleep(static_cast<useconds_t>(timeoutMs) * 1000);
    }
}

} // namespace qelp
