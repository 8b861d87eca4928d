#include "Vellum/attachments/WithAttachments.hpp"

#include "Vellum/attachments/UnchangedRuns.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/foundation/CommonAffixes.hpp"
#include "platform/foundation/Hash.hpp"
#include "platform/runtime/TaskGroup.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
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
    } catch (...) {
        // A picture that cannot be fetched or decoded leaves its run as text, whatever a
        // caller's loader throws.
        co_return LoadingResult{std::nullopt, range};
    }
}

bool carriesAddress(const AttributedString::Run& run) {
    return run.get<ImageURLAttribute>() != nullptr || emojiURL(run.attributes) != nullptr;
}

// The identity of the resolution task: the input string by value, and the colour scheme, which
// chooses among the variants of a bundled picture.
struct InputIdentity {
    AttributedString string;
    ColorEnvironmentValues environment;
    friend bool operator==(const InputIdentity&, const InputIdentity&) = default;
};

} // namespace

} // namespace vellum

template <>
struct std::hash<vellum::InputIdentity> {
    std::size_t operator()(const vellum::InputIdentity& identity) const noexcept {
        // Characters only: strings that differ in attributes alone compare unequal all the same.
        return platform::hashCombine(
            std::hash<std::string_view>()(identity.string.characters()),
            std::hash<vellum::ColorEnvironmentValues>()(identity.environment));
    }
};

namespace vellum {

namespace {

// Loads the given runs of `input` concurrently and sets each loaded attachment on `into`, whose
// characters are those of `input`.
platform::Task<AttributedString> loadRuns(AttributedString input, AttributedString into,
                                          std::vector<AttributedString::Run> runs,
                                          SharedAttachmentLoader imageLoader,
                                          SharedAttachmentLoader emojiLoader,
                                          ColorEnvironmentValues environment) {
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

    for (std::size_t index = 0; index < attachments.size() && index < ranges.size(); ++index) {
        into.setAttribute<VellumAttributes::AttachmentAttribute>(ranges[index], attachments[index]);
    }
    co_return into;
}

// Whether runs carry an address, remembered for the few attribute containers last met: the runs
// of a block take turns among a few containers, each shared by all its runs.
class AddressLookup {
public:
    bool carriesAddress(const AttributedString::Run& run) {
        for (std::size_t k = 0; k < count_; ++k) {
            if (seen_[k].attributes.sharesStorage(run.attributes)) {
                return seen_[k].address;
            }
        }
        Seen& slot = seen_[next_];
        slot = Seen{run.attributes, vellum::carriesAddress(run)};
        next_ = (next_ + 1) % seen_.size();
        count_ = std::min(count_ + 1, seen_.size());
        return slot.address;
    }

private:
    struct Seen {
        platform::AttributeContainer attributes;
        bool address = false;
    };
    std::array<Seen, 4> seen_;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
};

// The run of `text` over exactly `range`, if there is one.
std::optional<AttributedString::Run> runOver(const AttributedString& text,
                                             AttributedString::Range range) {
    const AttributedString::Runs runs = text.runs();
    std::size_t low = 0;
    std::size_t high = runs.size();
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (runs[middle].range.upperBound <= range.lowerBound) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low < runs.size() && runs[low].range == range) {
        return runs[low];
    }
    return std::nullopt;
}

bool sameAddresses(const platform::AttributeContainer& a, const platform::AttributeContainer& b) {
    const platform::URL* imageA = a.get<ImageURLAttribute>();
    const platform::URL* imageB = b.get<ImageURLAttribute>();
    const platform::URL* emojiA = emojiURL(a);
    const platform::URL* emojiB = emojiURL(b);
    return (imageA == nullptr) == (imageB == nullptr) &&
           (imageA == nullptr || *imageA == *imageB) &&
           (emojiA == nullptr) == (emojiB == nullptr) && (emojiA == nullptr || *emojiA == *emojiB);
}

} // namespace

platform::Task<std::optional<platform::AttributedString>>
resolveAttachments(platform::AttributedString input, SharedAttachmentLoader imageLoader,
                   SharedAttachmentLoader emojiLoader, ColorEnvironmentValues environment) {
    std::vector<AttributedString::Run> runs;
    AddressLookup lookup;
    for (const AttributedString::Run& run : input.runs()) {
        if (lookup.carriesAddress(run)) {
            runs.push_back(run);
        }
    }
    if (runs.empty()) {
        co_return std::nullopt;
    }
    platform::Task<AttributedString> loading = loadRuns(
        input, input, std::move(runs), std::move(imageLoader), std::move(emojiLoader), environment);
    co_return co_await std::move(loading);
}

std::optional<WithAttachments::Carried>
WithAttachments::carryResolution(const Resolution& previous, const AttributedString& input,
                                 const std::vector<AttributedString::Range>* attached) {
    const std::string_view before = previous.input.characters();
    const std::string_view after = input.characters();
    const std::size_t prefix = platform::commonPrefix(before, after);
    const std::size_t suffix = platform::commonSuffix(before.substr(prefix), after.substr(prefix));
    const auto shift =
        static_cast<std::ptrdiff_t>(before.size()) - static_cast<std::ptrdiff_t>(after.size());

    Carried carried;
    // The runs that take an earlier attachment, with their attributes so completed, in order.
    std::vector<std::pair<AttributedString::Range, platform::AttributeContainer>> taken;
    // Where the two texts hold the same runs, their runs with an attachment are those the earlier
    // resolution lists, at the same place before the change and as far from the end after it;
    // only the runs between are looked at.
    std::size_t from = 0;
    std::size_t to = after.size();
    const auto carry = [&](AttributedString::Range earlier, AttributedString::Range now) {
        const std::optional<AttributedString::Run> loaded = runOver(previous.resolved, earlier);
        const std::optional<AttributedString::Run> run = runOver(input, now);
        const AnyAttachment* const attachment =
            loaded ? vellum::attachment(loaded->attributes) : nullptr;
        if (attachment == nullptr || !run) {
            return;
        }
        platform::AttributeContainer attributes = run->attributes;
        setAttachment(attributes, *attachment);
        taken.emplace_back(now, std::move(attributes));
    };
    std::vector<AttributedString::Range> later;
    if (attached != nullptr) {
        const UnchangedRuns same = unchangedRuns(previous.input.slice(), input.slice());
        from = same.prefix;
        to = after.size() - same.suffix;
        for (const AttributedString::Range& range : *attached) {
            if (range.upperBound.offset <= same.prefix) {
                carry(range, range);
            } else if (range.lowerBound.offset >= before.size() - same.suffix) {
                later.push_back(range);
            }
        }
    }
    AddressLookup lookup;
    for (const AttributedString::Run& run : input[{{from}, {to}}].runs()) {
        if (!lookup.carriesAddress(run)) {
            continue;
        }
        // The same run in the earlier text: at the same place before the change, as far from
        // the end after it.
        std::optional<AttributedString::Range> earlier;
        if (run.range.upperBound.offset <= prefix) {
            earlier = run.range;
        } else if (run.range.lowerBound.offset >= after.size() - suffix) {
            earlier = AttributedString::Range{
                {static_cast<std::size_t>(static_cast<std::ptrdiff_t>(run.range.lowerBound.offset) +
                                          shift)},
                {static_cast<std::size_t>(static_cast<std::ptrdiff_t>(run.range.upperBound.offset) +
                                          shift)}};
        }
        std::optional<AttributedString::Run> was;
        if (earlier) {
            was = runOver(previous.input, *earlier);
        }
        if (!was || !sameAddresses(was->attributes, run.attributes)) {
            carried.pending.push_back(run);
            continue;
        }
        // Loaded before, or failed before: either way as the earlier resolution has it.
        const std::optional<AttributedString::Run> loaded = runOver(previous.resolved, *earlier);
        const AnyAttachment* const attachment =
            loaded ? vellum::attachment(loaded->attributes) : nullptr;
        if (attachment == nullptr) {
            continue;
        }
        platform::AttributeContainer attributes = run.attributes;
        setAttachment(attributes, *attachment);
        taken.emplace_back(run.range, std::move(attributes));
    }
    for (const AttributedString::Range& range : later) {
        const auto moved = [&](AttributedString::Index index) {
            return AttributedString::Index{
                static_cast<std::size_t>(static_cast<std::ptrdiff_t>(index.offset) - shift)};
        };
        carry(range, {moved(range.lowerBound), moved(range.upperBound)});
    }
    for (const auto& [range, attributes] : taken) {
        carried.attached.push_back(range);
    }
    if (taken.empty()) {
        // Nothing to carry: the text itself, not a copy of it.
        carried.resolved = input;
        return carried;
    }
    AttributedString& resolved = carried.resolved;
    resolved.reserve(after.size(), input.runs().size());
    AttributedString::Index unchanged = input.startIndex();
    for (const auto& [range, attributes] : taken) {
        resolved.append(input[{unchanged, range.lowerBound}]);
        resolved.append(input[range].characters(), attributes);
        unchanged = range.upperBound;
    }
    resolved.append(input[{unchanged, input.endIndex()}]);
    return carried;
}

const std::optional<WithAttachments::Carried>&
WithAttachments::Model::carried(const platform::AttributedString& input,
                                const ColorEnvironmentValues& environment) const {
    const std::optional<Resolution>& current = resolution();
    const std::optional<AttributedString> from =
        current ? std::optional<AttributedString>(current->input) : std::nullopt;
    if (!carriedFor_ || !(carriedFor_->input == input) ||
        !(carriedFor_->environment == environment) || !(carriedFor_->from == from)) {
        std::optional<Carried> carried;
        if (current && !(current->input == input) && current->environment == environment) {
            carried = carryResolution(*current, input, attached_ ? &*attached_ : nullptr);
        }
        carriedFor_ = CarriedFor{input, environment, from, std::move(carried)};
    }
    return carriedFor_->carried;
}

const platform::AttributedString&
WithAttachments::Model::shownString(const platform::AttributedString& input,
                                    const ColorEnvironmentValues& environment) const {
    const std::optional<Resolution>& current = resolution();
    // A resolution of an earlier text never shows over a newer one, even while the newer text is
    // still loading: the newer text shows unresolved until its own resolution arrives. One made
    // whole from the earlier one (nothing new to load) is its own.
    if (current && current->input == input) {
        return current->resolved;
    }
    if (const std::optional<Carried>& carried = this->carried(input, environment);
        carried && carried->pending.empty()) {
        return carried->resolved;
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
    // Only the runs that changed since the last resolution load again.
    std::optional<Carried> carried = model->carried(input, colorEnvironment);
    return content_(model->shownString(input, colorEnvironment))
        .task(InputIdentity{input, colorEnvironment}, platform::TaskPriority::userInitiated,
              [model, input, carried = std::move(carried), imageLoader, emojiLoader,
               colorEnvironment]() -> platform::Task<void> {
                  return [](std::shared_ptr<Model> model, AttributedString input,
                            std::optional<Carried> carried, SharedAttachmentLoader imageLoader,
                            SharedAttachmentLoader emojiLoader,
                            ColorEnvironmentValues colorEnvironment) -> platform::Task<void> {
                      std::optional<AttributedString> resolved;
                      if (carried && carried->pending.empty()) {
                          if (platform::Task<void>::isCancelled()) {
                              co_return;
                          }
                          model->setResolution(
                              Resolution{std::move(input), carried->resolved, colorEnvironment},
                              std::move(carried->attached));
                          co_return;
                      }
                      if (carried) {
                          platform::Task<AttributedString> loading =
                              loadRuns(input, carried->resolved, carried->pending, imageLoader,
                                       emojiLoader, colorEnvironment);
                          resolved = co_await std::move(loading);
                      } else {
                          platform::Task<std::optional<AttributedString>> resolution =
                              resolveAttachments(input, imageLoader, emojiLoader, colorEnvironment);
                          resolved = co_await std::move(resolution);
                      }
                      if (platform::Task<void>::isCancelled()) {
                          // A newer text has taken over; its own task writes the model.
                          co_return;
                      }
                      if (!resolved) {
                          model->setResolution(std::nullopt);
                          co_return;
                      }
                      model->setResolution(
                          Resolution{std::move(input), std::move(*resolved), colorEnvironment});
                  }(model, input, carried, imageLoader, emojiLoader, colorEnvironment);
              });
}

} // namespace vellum
