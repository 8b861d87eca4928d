#pragma once

// What the formatter's tests share: an attachment with a picture, standing in for the emoji and
// images that the loaders make (its text form is ":name:", its PNG data whatever the test gives,
// or none), and readable test failures for the tree's nodes.

#include "Vellum/attachments/Attachment.hpp"
#include "Vellum/export/Formatter.hpp"

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace vellum::testing {

class PictureAttachment final : public Attachment {
public:
    PictureAttachment(std::string name, std::optional<platform::Data> png)
        : name_(std::move(name))
        , png_(std::move(png)) {}

    [[nodiscard]] bool isEqual(const Attachment& other) const override {
        const auto* picture = dynamic_cast<const PictureAttachment*>(&other);
        return picture != nullptr && picture->name_ == name_ && picture->png_ == png_;
    }
    [[nodiscard]] std::size_t hashValue() const override { return std::hash<std::string>()(name_); }
    [[nodiscard]] std::string description() const override { return ":" + name_ + ":"; }
    [[nodiscard]] std::optional<platform::Data> pngData() const override { return png_; }

private:
    std::string name_;
    std::optional<platform::Data> png_;
};

} // namespace vellum::testing

namespace vellum {

inline void PrintTo(const Formatter::BlockNode& node, std::ostream* out) {
    *out << "\n" << node.description();
}
inline void PrintTo(const Formatter::InlineNode& node, std::ostream* out) {
    *out << node.description();
}

} // namespace vellum
