#include "platform/script/JSContext.hpp"

#include <array>
#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace platform {
namespace {

using StringObject = JSContext::StringObject;

std::optional<std::vector<StringObject>> call(JSContext& context, const std::string& body,
                                              std::array<std::string, 2> arguments = {"a", "b"}) {
    EXPECT_TRUE(context.evaluate("function reply(x, y) {" + body + "}"));
    return context.callReturningStringObjects("reply", arguments);
}

TEST(JSContextTests, EvaluatesAndCallsGlobalFunctions) {
    const auto context = JSContext::make();
    ASSERT_NE(context, nullptr);
    EXPECT_FALSE(context->hasFunction("reply"));
    EXPECT_TRUE(context->evaluate("var notAFunction = 3;"));
    EXPECT_FALSE(context->hasFunction("notAFunction"));

    const auto reply = call(*context, "return [{first: x, second: y}, {}, {only: x + y}];",
                            {"one", "t\xc3\xa9st"});
    EXPECT_TRUE(context->hasFunction("reply"));
    ASSERT_TRUE(reply);
    const std::vector<StringObject> expected = {
        {{"first", "one"}, {"second", "t\xc3\xa9st"}}, {}, {{"only", "onet\xc3\xa9st"}}};
    EXPECT_EQ(*reply, expected);

    const auto empty = call(*context, "return [];");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(JSContextTests, ArgumentsArriveWhole) {
    const auto context = JSContext::make();
    ASSERT_NE(context, nullptr);
    const std::string withNul("a\0b", 3);
    const auto reply =
        call(*context, "return [{length: String(x.length), text: x}];", {withNul, ""});
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), 1u);
    EXPECT_EQ((*reply)[0], (StringObject{{"length", "3"}, {"text", withNul}}));
}

TEST(JSContextTests, RepliesOfTheWrongShapeAreRejected) {
    const auto context = JSContext::make();
    ASSERT_NE(context, nullptr);
    EXPECT_FALSE(context->callReturningStringObjects("missing", {}));
    EXPECT_FALSE(call(*context, "return undefined;"));
    EXPECT_FALSE(call(*context, "return {content: x};"));
    EXPECT_FALSE(call(*context, "return 'text';"));
    // One bad element spoils the whole reply.
    EXPECT_FALSE(call(*context, "return [{content: x}, {content: 1}];"));
    EXPECT_FALSE(call(*context, "return [{content: x}, {content: undefined}];"));
    EXPECT_FALSE(call(*context, "return [{content: x}, 'text'];"));
    EXPECT_FALSE(call(*context, "return [[x]];"));
    EXPECT_FALSE(call(*context, "return [null];"));
    EXPECT_FALSE(call(*context, "return [{content: {nested: x}}];"));
    // An object with a JSON form of its own is still judged by its properties.
    EXPECT_FALSE(call(*context, "return [Object.create({toJSON() { return {content: x}; }})];"));
}

TEST(JSContextTests, ScriptsCannotReshapeHowRepliesAreRead) {
    const auto context = JSContext::make();
    ASSERT_NE(context, nullptr);
    const auto reply =
        call(*context, "JSON.stringify = function () { return '[]'; }; Object.keys = null;"
                       " return [{content: x}];");
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, (std::vector<StringObject>{{{"content", "a"}}}));
}

TEST(JSContextTests, ExceptionsFailTheCallAndLeaveTheContextUsable) {
    const auto context = JSContext::make();
    ASSERT_NE(context, nullptr);
    EXPECT_FALSE(context->evaluate("throw new Error('at load');"));
    EXPECT_FALSE(context->evaluate("this is not a script"));
    EXPECT_FALSE(call(*context, "throw new Error('in call');"));
    EXPECT_FALSE(call(*context, "var a = [{}]; Object.defineProperty(a, 1, {get() { throw 1; },"
                                " enumerable: true}); return a;"));
    const auto reply = call(*context, "return [{content: x}];");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 1u);
}

TEST(JSContextTests, RunawayScriptsAreStopped) {
    const auto context = JSContext::make();
    ASSERT_NE(context, nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(call(*context, "for (;;) {}"));
    // Generous: the point is that the call returns at all.
    EXPECT_LT(std::chrono::steady_clock::now() - start, JSContext::executionTimeLimit * 10);
    EXPECT_FALSE(context->evaluate("while (true) {}"));

    // The next call gets its own time.
    const auto reply = call(*context, "return [{content: x}];");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 1u);
}

TEST(JSContextTests, ContextsAreIndependent) {
    const auto first = JSContext::make();
    const auto second = JSContext::make();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(first->evaluate("function only() { return []; }"));
    EXPECT_TRUE(first->hasFunction("only"));
    EXPECT_FALSE(second->hasFunction("only"));
}

} // namespace
} // namespace platform
