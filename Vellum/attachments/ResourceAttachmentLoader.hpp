#pragma once

// The loader that never touches the network: it names a resource after the run's address and
// makes the attachment from that resource of a bundle (the library's own bundle, typically, for
// emoji that ship with the program).

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/text/Resources.hpp"
#include "platform/foundation/Bundle.hpp"

#include <concepts>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace vellum {

template <class A>
requires std::derived_from<A, Attachment>
class ResourceAttachmentLoader final : public AttachmentLoader {
public:
    using Name = std::function<std::string(const platform::URL&)>;
    using Content =
        std::function<A(const std::string& name, const std::optional<platform::Bundle>& bundle,
                        const std::string& text, const ColorEnvironmentValues&)>;

    ResourceAttachmentLoader(Name name, std::optional<platform::Bundle> bundle, Content content)
        : name_(std::move(name))
        , bundle_(std::move(bundle))
        , content_(std::move(content)) {}
    // Emoji pictures shipped with the library: by default from its own resource bundle.
    explicit ResourceAttachmentLoader(
        Name name, std::optional<platform::Bundle> bundle =
                       locateResourceBundle()) requires std::same_as<A, EmojiResourceAttachment>
        : ResourceAttachmentLoader(std::move(name), std::move(bundle),
                                   [](const std::string& resource,
                                      const std::optional<platform::Bundle>& from,
                                      const std::string& text,
                                      const ColorEnvironmentValues& environment) {
                                       return A(resource, from, text, environment);
                                   }) {}

    [[nodiscard]] const std::optional<platform::Bundle>& bundle() const noexcept { return bundle_; }

    // Any address gives an attachment; one that names no resource shows an empty picture.
    [[nodiscard]] platform::Task<AnyAttachment>
    attachment(platform::URL url, std::string text,
               ColorEnvironmentValues environment) const override {
        AnyAttachment made(content_(name_(url), bundle_, text, environment));
        co_return made;
    }

private:
    Name name_;
    std::optional<platform::Bundle> bundle_;
    Content content_;
};

} // namespace vellum
