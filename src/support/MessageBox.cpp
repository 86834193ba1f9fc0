#include "support/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace quillon {
namespace {

std::mutex presenterMutex;
MessageBoxPresenter presenter;  // guarded by presenterMutex

}  // namespace

int DefaultAnswer(unsigned style) {
    static const int kButtons[][3] = {
        {kIdOk, kIdOk, kIdOk},      {kIdOk, kIdCancel, kIdCancel}, {kIdAbort, kIdRetry, kIdIgnore},
        {kIdYes, kIdNo, kIdCancel}, {kIdYes, kIdNo, kIdNo},        {kIdRetry, kIdCancel, kIdCancel},
    };
    unsigned type = style & kMbTypeMask;
    unsigned button = (style & kMbDefMask) >> 8;
    if (type > kMbRetryCancel) {
        type = kMbOk;
    }
    return kButtons[type][button < 3 ? button : 0];
}

int ShowMessageBox(const std::string& text, unsigned style) {
    MessageBoxPresenter current;
    {
        std::lock_guard lock(presenterMutex);
        current = presenter;
    }
    if (current) {
        return current(text, style);
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    return DefaultAnswer(style);
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter next) {
    std::lock_guard lock(presenterMutex);
    std::swap(presenter, next);
    return next;
}

}  // namespace quillon
