#include "Vellum/attachments/WithAttachments.hpp"

#include "Vellum/attachments/VellumAttributes.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/runtime/TaskGroup.hpp"

#include <functional>
#include <string>
#include <vector>

namespace vellum {

namespace {

using platform::AttributedString;
using ImageURLAttribute = platform::AttributeScopes::FoundationAttributes::ImageURLAttribute;

struct LoadingResult {
    std::optional<AnyAttachment> attachment;
    AttributedString::Range range;
};

// One run's load, off the main actor. Its arguments are copies: the run outlives nothing here.
platform::Task<LoadingResult> loadRun(SharedAttachmentLoader loader, platform::URL address,
                                      std::string text, ColorEnvironmentValues environment,
                                      AttributedString::Range range) {
    try {
        platform::Task<AnyAttachment> load =
            loader->attachment(std::move(address), std::move(text), environment);
        AnyAttachment attachment = co_await std::move(load);
        co_return LoadingResult{std::move(attachment), range};
    } catch (const std::exception&) {
        // A picture that cannot be fetched or decoded leaves its run as text.
        co_return LoadingResult{std::nullopt, range};
    }
}

bool carriesAddress(const AttributedString::Run& run) {
    return run.get<ImageURLAttribute>() != nullptr || emojiURL(run.attributes) != nullptr;
}

// The identity of the resolution task: the input string by value.
struct InputIdentity {
    AttributedString string;
    friend bool operator==(const InputIdentity&, const InputIdentity&) = default;
};

} // namespace

} // namespace vellum

template <>
struct std::hash<vellum::InputIdentity> {
    std::size_t operator()(const vellum::InputIdentity& identity) const noexcept {
        // Characters only: strings that differ in attributes alone compare unequal all the same.
        return std::hash<std::string_view>()(identity.string.characters());
    }
};

namespace vellum {

platform::Task<std::optional<platform::AttributedString>>
resolveAttachments(platform::AttributedString input, SharedAttachmentLoader imageLoader,
                   SharedAttachmentLoader emojiLoader, ColorEnvironmentValues environment) {
    const AttributedString::Runs runs = input.runs();
    bool anyAddress = false;
    for (const AttributedString::Run& run : runs) {
        if (carriesAddress(run)) {
            anyAddress = true;
            break;
        }
    }
    if (!anyAddress) {
        co_return std::nullopt;
    }

    std::vector<AnyAttachment> attachments;
    std::vector<AttributedString::Range> ranges;
    auto body = [&](platform::TaskGroup<LoadingResult>& group) -> platform::Task<void> {
        for (const AttributedString::Run& run : runs) {
            // A run with both addresses is an image: the image link is what the author wrote.
            SharedAttachmentLoader loader;
            const platform::URL* address = run.get<ImageURLAttribute>();
            if (address != nullptr) {
                loader = imageLoader;
            } else if ((address = emojiURL(run.attributes)) != nullptr) {
                loader = emojiLoader;
            } else {
                continue;
            }
            if (loader == nullptr) {
                continue;
            }
            group.addTask(
                [loader, url = *address, text = std::string(input[run.range].characters()),
                 environment,
                 range = run.range] { return loadRun(loader, url, text, environment, range); });
        }
        while (std::optional<LoadingResult> result = co_await group.next()) {
            if (result->attachment) {
                attachments.push_back(std::move(*result->attachment));
                ranges.push_back(result->range);
            }
        }
    };
    platform::Task<void> loads = platform::withTaskGroup<LoadingResult>(body);
    co_await std::move(loads);

    AttributedString resolved = input;
    for (std::size_t index = 0; index < attachments.size() && index < ranges.size(); ++index) {
        resolved.setAttribute<VellumAttributes::AttachmentAttribute>(ranges[index],
                                                                     attachments[index]);
    }
    co_return resolved;
}

const platform::AttributedString&
WithAttachments::Model::shownString(const platform::AttributedString& input) const {
    const std::optional<Resolution>& current = resolution();
    // A resolution of an earlier text never shows over a newer one, even while the newer text is
    // still loading: the newer text shows unresolved until its own resolution arrives.
    if (current && current->input == input) {
        return current->resolved;
    }
    return input;
}

platform::ui::AnyView WithAttachments::body(platform::ui::ViewContext& context) const {
    const SharedAttachmentLoader imageLoader = context.environment<ImageAttachmentLoaderKey>();
    const SharedAttachmentLoader emojiLoader = context.environment<EmojiAttachmentLoaderKey>();
    const ColorEnvironmentValues colorEnvironment(context.environment());
    const std::shared_ptr<Model> model =
        context.stateObject<Model>([] { return std::make_shared<Model>(); });

    const AttributedString input = attributedString_;
    return content_(model->shownString(input))
        .task(InputIdentity{input}, platform::TaskPriority::userInitiated,
              [model, input, imageLoader, emojiLoader, colorEnvironment]() -> platform::Task<void> {
                  return [](std::shared_ptr<Model> model, AttributedString input,
                            SharedAttachmentLoader imageLoader, SharedAttachmentLoader emojiLoader,
                            ColorEnvironmentValues colorEnvironment) -> platform::Task<void> {
                      platform::Task<std::optional<AttributedString>> resolution =
                          resolveAttachments(input, imageLoader, emojiLoader, colorEnvironment);
                      std::optional<AttributedString> resolved = co_await std::move(resolution);
                      if (platform::Task<void>::isCancelled()) {
                          // A newer text has taken over; its own task writes the model.
                          co_return;
                      }
                      if (!resolved) {
                          model->setResolution(std::nullopt);
                          co_return;
                      }
                      model->setResolution(Resolution{std::move(input), std::move(*resolved)});
                  }(model, input, imageLoader, emojiLoader, colorEnvironment);
              });
}

} // namespace vellum
