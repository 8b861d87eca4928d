#pragma once

// A loader that passes loads on to another and counts those that ended, so that a test knows
// when a document's pictures are in.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "platform/runtime/Task.hpp"

#include <atomic>
#include <memory>
#include <string>
#include <utility>

namespace moss_test {

class CountingLoader final : public vellum::AttachmentLoader {
public:
    CountingLoader(vellum::SharedAttachmentLoader loader, std::shared_ptr<std::atomic<int>> ended)
        : loader_(std::move(loader))
        , ended_(std::move(ended)) {}

    platform::Task<vellum::AnyAttachment>
    attachment(platform::URL url, std::string text,
               vellum::ColorEnvironmentValues environment) const override {
        struct Count {
            std::atomic<int>& ended;
            ~Count() { ++ended; }
        } count{*ended_};
        co_return co_await loader_->attachment(std::move(url), std::move(text), environment);
    }

private:
    vellum::SharedAttachmentLoader loader_;
    std::shared_ptr<std::atomic<int>> ended_;
};

} // namespace moss_test
