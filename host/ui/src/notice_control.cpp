#include "notice_control.h"

#include <cstdio>
#include <exception>

namespace tavrin::host::ui {

bool NoticeControl::attach(std::function<void()> closer) {
    // Set before the host can call it; kept until the host has let go.
    closer_ = std::move(closer);
    attached_ = calls_.attach(calls_.context, &NoticeControl::close, this) != 0;
    if (!attached_) closer_ = nullptr;
    return attached_;
}

void NoticeControl::detach() {
    if (!attached_) return;
    calls_.detach(calls_.context);
    attached_ = false;
    closer_ = nullptr;
}

// Called by the host's waiting thread: nothing may escape into it.
void NoticeControl::close(void* self) noexcept {
    try {
        static_cast<NoticeControl*>(self)->closer_();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavrin-bridge: the card reader notice could not be closed (%s)\n",
                     error.what());
    } catch (...) {
        std::fprintf(stderr, "tavrin-bridge: the card reader notice could not be closed\n");
    }
}

}  // namespace tavrin::host::ui
