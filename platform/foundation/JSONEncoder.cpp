#include "platform/foundation/JSONEncoder.hpp"

#include "platform/foundation/ASCII.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace platform {

namespace detail {

// One value of the document being built. Children are held through pointers so that the
// containers handed out for them stay valid while siblings are added.
struct EncodedNode {
    enum class Kind { null, boolean, integer, number, string, array, object };

    Kind kind = Kind::null;
    bool boolean = false;
    std::int64_t integer = 0;
    double number = 0;
    std::string string;
    std::vector<std::unique_ptr<EncodedNode>> elements;
    std::vector<std::pair<std::string, std::unique_ptr<EncodedNode>>> members;

    EncodedNode* parent = nullptr;
    std::string_view key; // points into the parent's member name
    std::int64_t index = -1;

    void reset(Kind newKind) {
        kind = newKind;
        string.clear();
        elements.clear();
        members.clear();
    }
};

} // namespace detail

using detail::EncodedNode;

namespace {

CodingPath pathOf(const EncodedNode* node) {
    CodingPath path;
    for (; node != nullptr && node->parent != nullptr; node = node->parent) {
        path.push_back(node->index >= 0 ? CodingKey::index(node->index)
                                        : CodingKey::member(std::string(node->key)));
    }
    return CodingPath(path.rbegin(), path.rend());
}

using ascii::isDigit;
constexpr auto lower = ascii::toLower;

// Key order for sorted output: case-insensitive, runs of digits compared by value ("a2" before
// "a10"), and the exact bytes as the last word so that distinct keys never tie.
bool keyLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && isDigit(a[ei])) {
                ++ei;
            }
            while (ej < b.size() && isDigit(b[ej])) {
                ++ej;
            }
            std::string_view da = a.substr(i, ei - i);
            std::string_view db = b.substr(j, ej - j);
            da.remove_prefix(std::min(da.find_first_not_of('0'), da.size()));
            db.remove_prefix(std::min(db.find_first_not_of('0'), db.size()));
            if (da.size() != db.size()) {
                return da.size() < db.size();
            }
            if (da != db) {
                return da < db;
            }
            i = ei;
            j = ej;
            continue;
        }
        const auto ca = static_cast<unsigned char>(lower(a[i]));
        const auto cb = static_cast<unsigned char>(lower(b[j]));
        if (ca != cb) {
            return ca < cb;
        }
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size())) {
        return i >= a.size();
    }
    return a < b;
}

// The shortest text that reads back as `value`: plain decimal from 1e-4 up to 2^53, exponent
// form outside, and no ".0" on integral values.
std::string numberText(double value) {
    if (value == 0) {
        return std::signbit(value) ? "-0" : "0";
    }
    char buffer[64];
    const auto sci =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<std::size_t>(sci.ptr - buffer));
    const double magnitude = std::fabs(value);
    if (magnitude < 1e-4 || magnitude >= 9007199254740992.0) {
        return std::string(text);
    }
    // Split "-d.ddde+XX" into sign, digits and exponent.
    std::string_view mantissa = text.substr(0, text.find('e'));
    const int exponent = std::stoi(std::string(text.substr(text.find('e') + 1)));
    std::string sign;
    if (mantissa.front() == '-') {
        sign = "-";
        mantissa.remove_prefix(1);
    }
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.') {
            digits.push_back(c);
        }
    }
    std::string result = sign;
    if (exponent >= 0) {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= integerDigits) {
            result += digits + std::string(integerDigits - digits.size(), '0');
        } else {
            result += digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
        }
    } else {
        result += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    return result;
}

class Writer {
public:
    Writer(unsigned formatting, std::string& out)
        : pretty_((formatting & JSONEncoder::prettyPrinted) != 0)
        , sorted_((formatting & JSONEncoder::sortedKeys) != 0)
        , escapeSlashes_((formatting & JSONEncoder::withoutEscapingSlashes) == 0)
        , out_(out) {}

    void write(const EncodedNode& node, std::size_t depth) {
        switch (node.kind) {
        case EncodedNode::Kind::null:
            out_ += "null";
            return;
        case EncodedNode::Kind::boolean:
            out_ += node.boolean ? "true" : "false";
            return;
        case EncodedNode::Kind::integer:
            out_ += std::to_string(node.integer);
            return;
        case EncodedNode::Kind::number:
            out_ += numberText(node.number);
            return;
        case EncodedNode::Kind::string:
            writeString(node.string);
            return;
        case EncodedNode::Kind::array:
            writeArray(node, depth);
            return;
        case EncodedNode::Kind::object:
            writeObject(node, depth);
            return;
        }
    }

private:
    void indent(std::size_t depth) { out_.append(depth * 2, ' '); }

    void writeArray(const EncodedNode& node, std::size_t depth) {
        out_.push_back('[');
        if (pretty_) {
            out_.push_back('\n');
        }
        bool first = true;
        for (const auto& element : node.elements) {
            if (!first) {
                out_ += pretty_ ? ",\n" : ",";
            }
            first = false;
            if (pretty_) {
                indent(depth + 1);
            }
            write(*element, depth + 1);
        }
        if (pretty_) {
            out_.push_back('\n');
            indent(depth);
        }
        out_.push_back(']');
    }

    void writeObject(const EncodedNode& node, std::size_t depth) {
        std::vector<const std::pair<std::string, std::unique_ptr<EncodedNode>>*> members;
        members.reserve(node.members.size());
        for (const auto& member : node.members) {
            members.push_back(&member);
        }
        if (sorted_) {
            std::sort(members.begin(), members.end(),
                      [](const auto* a, const auto* b) { return keyLess(a->first, b->first); });
        }
        out_.push_back('{');
        if (pretty_) {
            out_.push_back('\n');
        }
        bool first = true;
        for (const auto* member : members) {
            if (!first) {
                out_ += pretty_ ? ",\n" : ",";
            }
            first = false;
            if (pretty_) {
                indent(depth + 1);
            }
            writeString(member->first);
            out_ += pretty_ ? " : " : ":";
            write(*member->second, depth + 1);
        }
        if (pretty_) {
            out_.push_back('\n');
            indent(depth);
        }
        out_.push_back('}');
    }

    void writeString(std::string_view text) {
        static constexpr char hex[] = "0123456789abcdef";
        out_.push_back('"');
        for (const char c : text) {
            switch (c) {
            case '"':
                out_ += "\\\"";
                break;
            case '\\':
                out_ += "\\\\";
                break;
            case '/':
                out_ += escapeSlashes_ ? "\\/" : "/";
                break;
            case '\n':
                out_ += "\\n";
                break;
            case '\r':
                out_ += "\\r";
                break;
            case '\t':
                out_ += "\\t";
                break;
            case '\b':
                out_ += "\\b";
                break;
            case '\f':
                out_ += "\\f";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    const auto byte = static_cast<unsigned char>(c);
                    out_ += "\\u00";
                    out_.push_back(hex[byte >> 4U]);
                    out_.push_back(hex[byte & 0x0FU]);
                } else {
                    out_.push_back(c);
                }
            }
        }
        out_.push_back('"');
    }

    bool pretty_;
    bool sorted_;
    bool escapeSlashes_;
    std::string& out_;
};

} // namespace

// --- Containers -------------------------------------------------------------------------------

void JSONEncodingContainer::encodeNull() {
    node_->reset(EncodedNode::Kind::null);
}

void JSONEncodingContainer::encodeBool(bool value) {
    node_->reset(EncodedNode::Kind::boolean);
    node_->boolean = value;
}

void JSONEncodingContainer::encodeInt64(std::int64_t value) {
    node_->reset(EncodedNode::Kind::integer);
    node_->integer = value;
}

void JSONEncodingContainer::encodeDouble(double value) {
    if (!std::isfinite(value)) {
        throw EncodingError(pathOf(node_),
                            "Unable to encode " + std::to_string(value) + " directly in JSON.");
    }
    node_->reset(EncodedNode::Kind::number);
    node_->number = value;
}

void JSONEncodingContainer::encodeString(std::string_view value) {
    node_->reset(EncodedNode::Kind::string);
    node_->string = std::string(value);
}

void JSONEncodingContainer::encodeEmptyObject() {
    node_->reset(EncodedNode::Kind::object);
}

void JSONEncodingContainer::encodeEmptyArray() {
    node_->reset(EncodedNode::Kind::array);
}

JSONEncodingContainer JSONEncodingContainer::member(std::string_view key) {
    if (node_->kind != EncodedNode::Kind::object) {
        node_->reset(EncodedNode::Kind::object);
    }
    for (auto& [name, child] : node_->members) {
        if (name == key) {
            child->reset(EncodedNode::Kind::null);
            return JSONEncodingContainer(child.get());
        }
    }
    auto child = std::make_unique<EncodedNode>();
    child->parent = node_;
    node_->members.emplace_back(std::string(key), std::move(child));
    auto& [name, added] = node_->members.back();
    added->key = name;
    return JSONEncodingContainer(added.get());
}

JSONEncodingContainer JSONEncodingContainer::appendElement() {
    if (node_->kind != EncodedNode::Kind::array) {
        node_->reset(EncodedNode::Kind::array);
    }
    auto child = std::make_unique<EncodedNode>();
    child->parent = node_;
    child->index = static_cast<std::int64_t>(node_->elements.size());
    node_->elements.push_back(std::move(child));
    return JSONEncodingContainer(node_->elements.back().get());
}

// --- Encoder ----------------------------------------------------------------------------------

std::shared_ptr<EncodedNode> JSONEncoder::makeRoot() {
    return std::make_shared<EncodedNode>();
}

std::string JSONEncoder::write(const EncodedNode& root) const {
    std::string out;
    Writer(outputFormatting, out).write(root, 0);
    return out;
}

void JSONEncoding<JSONAny>::encode(const JSONAny& value, JSONEncodingContainer& c) {
    switch (value.kind()) {
    case JSONAny::Kind::null:
        c.encodeNull();
        return;
    case JSONAny::Kind::boolean:
        c.encodeBool(*value.boolValue());
        return;
    case JSONAny::Kind::number:
        c.encodeDouble(*value.numberValue());
        return;
    case JSONAny::Kind::string:
        c.encodeString(*value.stringValue());
        return;
    case JSONAny::Kind::array:
        c.encode(*value.arrayValue());
        return;
    case JSONAny::Kind::object:
        c.encode(*value.objectValue());
        return;
    }
}

} // namespace platform
