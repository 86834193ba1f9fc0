// Collects the message boxes shown while it lives, each answered with its default button.
#pragma once

#include <ranges>
#include <string>
#include <utility>
#include <vector>

#include "support/MessageBox.h"

namespace quillon::testing {

class CaptureMessages {
  public:
    CaptureMessages() {
        previous_ = SetMessageBoxPresenter([this](const std::string& text, unsigned style) {
            Shown.emplace_back(text, style);
            return DefaultAnswer(style);
        });
    }
    ~CaptureMessages() { SetMessageBoxPresenter(previous_); }
    CaptureMessages(const CaptureMessages&) = delete;
    CaptureMessages& operator=(const CaptureMessages&) = delete;

    std::vector<std::string> Texts() const {
        auto texts = Shown | std::views::keys;
        return {texts.begin(), texts.end()};
    }

    std::vector<std::pair<std::string, unsigned>> Shown;

  private:
    MessageBoxPresenter previous_;
};

}  // namespace quillon::testing
