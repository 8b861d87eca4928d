#include "platform/script/JSContext.hpp"

#include "platform/runtime/ScopeExit.hpp"

// Address-sanitizer builds, as g++ and clang announce them.
#if defined(__SANITIZE_ADDRESS__)
#define MOSS_SCRIPT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MOSS_SCRIPT_ASAN 1
#endif
#endif

#if defined(MOSS_SCRIPT_ASAN)
#include <sanitizer/lsan_interface.h>
#endif
#include <jsc/jsc.h>
#include <simdjson.h>

namespace platform {

namespace {

// GObject references held for the length of a scope.
struct ObjectDeleter {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
template <class T>
using Ref = std::unique_ptr<T, ObjectDeleter>;

// Marks the engine's own allocations as not ours to account for. The engine keeps
// process-lifetime tables (interned strings, structures) reachable only from memory of its own
// allocator, which the leak checker of our sanitizer builds cannot see into.
class EngineAllocations {
public:
    EngineAllocations() {
#if defined(MOSS_SCRIPT_ASAN)
        __lsan_disable();
#endif
    }
    ~EngineAllocations() {
#if defined(MOSS_SCRIPT_ASAN)
        __lsan_enable();
#endif
    }
    EngineAllocations(const EngineAllocations&) = delete;
    EngineAllocations& operator=(const EngineAllocations&) = delete;
};

// The virtual machine every context lives in, made once and kept for the life of the process.
// Contexts come and go; a machine's teardown is the expensive part, and the engine, built without
// type information, trips the type checks of our sanitizer builds while tearing one down. Its
// lock serialises contexts that different owners use at the same time.
JSCVirtualMachine* sharedVirtualMachine() {
    static JSCVirtualMachine* const machine = [] {
        // The engine's watchdog: each entry into a machine made after this point is interrupted
        // once it has run this long. It must be set before the first machine exists.
        jsc_options_set_uint("watchdog", static_cast<guint>(JSContext::executionTimeLimit.count()));
#if defined(MOSS_SCRIPT_ASAN)
        // Compiling on the calling thread keeps the engine's allocations inside the scopes
        // marked above.
        jsc_options_set_boolean("useConcurrentJIT", FALSE);
#endif
        return jsc_virtual_machine_new();
    }();
    return machine;
}

// The string's UTF-8 bytes, NUL characters included.
std::string stringBytes(JSCValue* value) {
    GBytes* const bytes = jsc_value_to_string_as_bytes(value);
    if (bytes == nullptr) {
        return {};
    }
    const ScopeExit release([bytes] { g_bytes_unref(bytes); });
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    return data != nullptr ? std::string(data, size) : std::string();
}

// Checks a reply inside the engine and hands it over as one JSON text: converting element by
// element through the engine's object interface costs several times what the script itself
// takes. The checks keep what JSON would quietly drop or reshape (undefined or function
// values, objects with their own JSON form) from passing as a string object. It holds on to the
// functions it uses, so that a script replacing them cannot change what it does.
constexpr std::string_view replyReaderSource = R"((function () {
    var stringify = JSON.stringify, keys = Object.keys, isArray = Array.isArray;
    return function (reply) {
        if (!isArray(reply)) return null;
        for (var i = 0, n = reply.length; i < n; i++) {
            var element = reply[i];
            if (element === null || typeof element !== 'object' || isArray(element) ||
                typeof element.toJSON === 'function') return null;
            var names = keys(element);
            for (var j = 0; j < names.length; j++) {
                if (typeof element[names[j]] !== 'string') return null;
            }
        }
        return stringify(reply);
    };
})())";

// The string objects of a checked reply's JSON; nullopt when it is not an array of them.
std::optional<std::vector<JSContext::StringObject>> parseStringObjects(std::string_view json) {
    simdjson::dom::parser parser;
    simdjson::dom::array array;
    if (parser.parse(json.data(), json.size()).get_array().get(array) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    std::vector<JSContext::StringObject> objects;
    objects.reserve(array.size());
    for (const simdjson::dom::element element : array) {
        simdjson::dom::object members;
        if (element.get_object().get(members) != simdjson::SUCCESS) {
            return std::nullopt;
        }
        JSContext::StringObject object;
        for (const simdjson::dom::key_value_pair member : members) {
            std::string_view value;
            if (member.value.get_string().get(value) != simdjson::SUCCESS) {
                return std::nullopt;
            }
            object.emplace_back(std::string(member.key), std::string(value));
        }
        objects.push_back(std::move(object));
    }
    return objects;
}

} // namespace

struct JSContext::Engine {
    Ref<JSCContext> context;
    // The function made from replyReaderSource.
    Ref<JSCValue> replyReader;

    // Clears a pending exception; true when there was one.
    bool takeException() const {
        if (jsc_context_get_exception(context.get()) == nullptr) {
            return false;
        }
        jsc_context_clear_exception(context.get());
        return true;
    }
};

JSContext::JSContext(std::unique_ptr<Engine> engine)
    : engine_(std::move(engine)) {}

JSContext::~JSContext() = default;

std::unique_ptr<JSContext> JSContext::make() {
    JSCVirtualMachine* const machine = sharedVirtualMachine();
    if (machine == nullptr) {
        return nullptr;
    }
    Ref<JSCContext> context = [machine] {
        const EngineAllocations engine;
        return Ref<JSCContext>(jsc_context_new_with_virtual_machine(machine));
    }();
    if (!context) {
        return nullptr;
    }
    auto engine = std::make_unique<Engine>();
    {
        const EngineAllocations allocations;
        engine->replyReader.reset(
            jsc_context_evaluate(context.get(), replyReaderSource.data(),
                                 static_cast<gssize>(replyReaderSource.size())));
    }
    engine->context = std::move(context);
    if (engine->takeException() || !engine->replyReader ||
        !jsc_value_is_function(engine->replyReader.get())) {
        return nullptr;
    }
    return std::unique_ptr<JSContext>(new JSContext(std::move(engine)));
}

bool JSContext::evaluate(std::string_view source, std::string_view sourceURL) {
    const std::string url(sourceURL);
    const EngineAllocations engine;
    const Ref<JSCValue> result(jsc_context_evaluate_with_source_uri(
        engine_->context.get(), source.data(), static_cast<gssize>(source.size()),
        url.empty() ? nullptr : url.c_str(), 1));
    // A stopped script leaves no exception behind but no result either.
    return !engine_->takeException() && result != nullptr;
}

bool JSContext::hasFunction(std::string_view name) const {
    const std::string key(name);
    const Ref<JSCValue> global(jsc_context_get_global_object(engine_->context.get()));
    if (!jsc_value_object_has_property(global.get(), key.c_str())) {
        return false;
    }
    const Ref<JSCValue> function(jsc_value_object_get_property(global.get(), key.c_str()));
    return function != nullptr && jsc_value_is_function(function.get());
}

std::optional<std::vector<JSContext::StringObject>>
JSContext::callReturningStringObjects(std::string_view name,
                                      std::span<const std::string> arguments) {
    JSCContext* const context = engine_->context.get();
    const std::string key(name);
    const Ref<JSCValue> global(jsc_context_get_global_object(context));
    const Ref<JSCValue> function(jsc_value_object_get_property(global.get(), key.c_str()));
    if (!function || !jsc_value_is_function(function.get())) {
        engine_->takeException();
        return std::nullopt;
    }

    std::vector<Ref<JSCValue>> values;
    std::vector<JSCValue*> parameters;
    values.reserve(arguments.size());
    for (const std::string& argument : arguments) {
        // From bytes with a length, so that text holding NUL characters arrives whole.
        GBytes* const bytes = g_bytes_new(argument.data(), argument.size());
        const ScopeExit releaseBytes([bytes] { g_bytes_unref(bytes); });
        values.emplace_back(jsc_value_new_string_from_bytes(context, bytes));
        parameters.push_back(values.back().get());
    }
    const Ref<JSCValue> json = [&] {
        const EngineAllocations engine;
        const Ref<JSCValue> reply(jsc_value_function_callv(
            function.get(), static_cast<guint>(parameters.size()), parameters.data()));
        if (engine_->takeException() || !reply) {
            return Ref<JSCValue>();
        }
        JSCValue* replyParameter = reply.get();
        // Reading the reply can run script too (getters) and throw or be stopped.
        return Ref<JSCValue>(
            jsc_value_function_callv(engine_->replyReader.get(), 1, &replyParameter));
    }();
    if (engine_->takeException() || !json || !jsc_value_is_string(json.get())) {
        return std::nullopt;
    }
    return parseStringObjects(stringBytes(json.get()));
}

} // namespace platform
