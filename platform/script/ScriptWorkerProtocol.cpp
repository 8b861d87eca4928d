#include "platform/script/ScriptWorkerProtocol.hpp"

namespace platform::scriptworker {

namespace {

class Writer {
public:
    Writer() { bytes_.resize(4); }

    void number(std::size_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes_.push_back(static_cast<char>((value >> shift) & 0xFFu));
        }
    }
    void string(std::string_view text) {
        number(text.size());
        bytes_.append(text);
    }
    std::string finish() && {
        const std::size_t length = bytes_.size() - 4;
        for (int index = 0; index < 4; ++index) {
            bytes_[static_cast<std::size_t>(index)] =
                static_cast<char>((length >> (8 * index)) & 0xFFu);
        }
        return std::move(bytes_);
    }

private:
    std::string bytes_;
};

class Reader {
public:
    explicit Reader(std::string_view bytes)
        : bytes_(bytes) {}

    std::optional<std::uint32_t> number() {
        if (bytes_.size() < 4) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (int index = 0; index < 4; ++index) {
            value |= static_cast<std::uint32_t>(
                         static_cast<unsigned char>(bytes_[static_cast<std::size_t>(index)]))
                     << (8 * index);
        }
        bytes_.remove_prefix(4);
        return value;
    }
    std::optional<std::string_view> string() {
        const std::optional<std::uint32_t> length = number();
        if (!length || *length > bytes_.size()) {
            return std::nullopt;
        }
        const std::string_view text = bytes_.substr(0, *length);
        bytes_.remove_prefix(*length);
        return text;
    }
    [[nodiscard]] std::size_t remaining() const noexcept { return bytes_.size(); }

private:
    std::string_view bytes_;
};

// The least a counted item takes: its strings' length fields.
constexpr std::size_t bytesPerMember = 8;
constexpr std::size_t bytesPerObject = 4;

} // namespace

std::string encodeStrings(std::span<const std::string_view> strings) {
    Writer writer;
    for (const std::string_view text : strings) {
        writer.string(text);
    }
    return std::move(writer).finish();
}

std::string encodeCall(std::string_view name, std::span<const std::string> arguments) {
    Writer writer;
    writer.string(name);
    for (const std::string& argument : arguments) {
        writer.string(argument);
    }
    return std::move(writer).finish();
}

std::string encodeReply(const Reply& reply) {
    Writer writer;
    writer.number(reply ? 1 : 0);
    if (reply) {
        writer.number(reply->size());
        for (const JSContext::StringObject& object : *reply) {
            writer.number(object.size());
            for (const auto& [name, value] : object) {
                writer.string(name);
                writer.string(value);
            }
        }
    }
    return std::move(writer).finish();
}

std::optional<std::vector<std::string>> decodeStrings(std::string_view payload) {
    Reader reader(payload);
    std::vector<std::string> strings;
    while (reader.remaining() > 0) {
        const std::optional<std::string_view> text = reader.string();
        if (!text) {
            return std::nullopt;
        }
        strings.emplace_back(*text);
    }
    return strings;
}

bool decodeReply(std::string_view payload, Reply& reply) {
    Reader reader(payload);
    const std::optional<std::uint32_t> status = reader.number();
    if (!status || *status > 1) {
        return false;
    }
    if (*status == 0) {
        reply.reset();
        return reader.remaining() == 0;
    }
    const std::optional<std::uint32_t> count = reader.number();
    if (!count || *count > reader.remaining() / bytesPerObject) {
        return false;
    }
    std::vector<JSContext::StringObject> objects;
    objects.reserve(*count);
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::optional<std::uint32_t> members = reader.number();
        if (!members || *members > reader.remaining() / bytesPerMember) {
            return false;
        }
        JSContext::StringObject object;
        object.reserve(*members);
        for (std::uint32_t member = 0; member < *members; ++member) {
            const std::optional<std::string_view> name = reader.string();
            const std::optional<std::string_view> value =
                name ? reader.string() : std::optional<std::string_view>();
            if (!value) {
                return false;
            }
            object.emplace_back(std::string(*name), std::string(*value));
        }
        objects.push_back(std::move(object));
    }
    if (reader.remaining() != 0) {
        return false;
    }
    reply = std::move(objects);
    return true;
}

std::uint32_t decodeLength(const unsigned char (&header)[4]) noexcept {
    return static_cast<std::uint32_t>(header[0]) | (static_cast<std::uint32_t>(header[1]) << 8) |
           (static_cast<std::uint32_t>(header[2]) << 16) |
           (static_cast<std::uint32_t>(header[3]) << 24);
}

} // namespace platform::scriptworker
