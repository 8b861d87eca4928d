#include "TextLayoutTestSupport.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionModel.hpp"
#include "platform/observation/ObservationTracking.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace vellum {
namespace {

TextRange rangeAt(std::size_t start, std::size_t end) {
    return {{IndexPath{0, 0, 0, start}, TextPosition::Affinity::downstream},
            {IndexPath{0, 0, 0, end}, TextPosition::Affinity::downstream}};
}

// Counts the callbacks of a model and the observer notifications of its range.
struct Watched {
    std::shared_ptr<TextSelectionModel> model = std::make_shared<TextSelectionModel>();
    int willChange = 0;
    int didChange = 0;
    std::shared_ptr<int> notified = std::make_shared<int>(0);

    Watched() {
        model->selectionWillChange = [this] { ++willChange; };
        model->selectionDidChange = [this] { ++didChange; };
        watch();
    }
    void watch() {
        platform::withObservationTracking([this] { (void)model->selectedRange(); },
                                          [n = notified] { ++*n; });
    }
};

TEST(TextSelectionModel, ObserversHearOfChangesOnlyButTheCallbacksRunOnEveryAssignment) {
    Watched a;
    a.model->setSelectedRange(std::nullopt);
    EXPECT_EQ(*a.notified, 0);
    EXPECT_EQ(a.willChange, 1);
    EXPECT_EQ(a.didChange, 1);

    a.model->setSelectedRange(rangeAt(0, 2));
    EXPECT_EQ(*a.notified, 1);
    a.watch();
    a.model->setSelectedRange(rangeAt(0, 2));
    EXPECT_EQ(*a.notified, 1);
    EXPECT_EQ(a.willChange, 3);
    EXPECT_EQ(a.didChange, 3);
    EXPECT_EQ(a.model->selectedRange(), rangeAt(0, 2));
}

TEST(TextSelectionCoordinator, KeepsTheSelectionInOneModel) {
    const auto coordinator = std::make_shared<TextSelectionCoordinator>();
    Watched a;
    Watched b;
    Watched c;
    for (Watched* w : {&a, &b, &c}) {
        w->model->setCoordinator(coordinator);
        coordinator->registerModel(w->model);
    }
    b.model->setSelectedRange(rangeAt(1, 3));
    a.model->setSelectedRange(rangeAt(0, 2));
    EXPECT_EQ(b.model->selectedRange(), std::nullopt);
    EXPECT_EQ(c.model->selectedRange(), std::nullopt);
    // c held nothing: its callbacks still ran, its observers heard nothing.
    EXPECT_EQ(c.willChange, 2);
    EXPECT_EQ(*c.notified, 0);
    EXPECT_EQ(*b.notified, 1);

    // Selecting again what is already selected clears a model that took the selection meanwhile
    // without going through the coordinator.
    c.model->setCoordinator(nullptr);
    c.model->setSelectedRange(rangeAt(4, 5));
    c.model->setCoordinator(coordinator);
    a.model->setSelectedRange(rangeAt(0, 2));
    EXPECT_EQ(c.model->selectedRange(), std::nullopt);
    EXPECT_EQ(a.model->selectedRange(), rangeAt(0, 2));
}

TEST(TextSelectionCoordinator, DropsReleasedModelsKeepingTheOrderOfTheOthers) {
    const auto coordinator = std::make_shared<TextSelectionCoordinator>();
    auto a = std::make_shared<TextSelectionModel>();
    auto b = std::make_shared<TextSelectionModel>();
    auto c = std::make_shared<TextSelectionModel>();
    for (const auto& m : {a, b, c}) {
        m->setCoordinator(coordinator);
        coordinator->registerModel(m);
    }
    b.reset();
    c->setSelectedRange(rangeAt(0, 1));
    ASSERT_EQ(coordinator->models().size(), 2u);
    EXPECT_EQ(coordinator->models()[0].lock(), a);
    EXPECT_EQ(coordinator->models()[1].lock(), c);
    EXPECT_EQ(a->coordinator(), coordinator);
}

TEST(TextSelectionModel, ALayoutPassCarriesTheSelectionOverOrClearsIt) {
    using test::fragment;
    const test::LaidOutTexts first({fragment("Hello world")});
    const test::LaidOutTexts moved({fragment("Hello world")}, 300);
    const test::LaidOutTexts edited({fragment("Hello there world")});
    const test::LaidOutTexts twoTexts({fragment("Hello"), fragment("world")});

    TextSelectionModel model;
    model.updateLayoutCollection(AnyTextLayoutCollection(first.shared()));
    const TextRange hello = *wordRange(first.collection(), startPosition(first.collection()));
    model.setSelectedRange(hello);

    // The same texts again, even at another place: the range stays as it is.
    model.updateLayoutCollection(AnyTextLayoutCollection(moved.shared()));
    EXPECT_EQ(&model.layoutCollection().base(), moved.shared().get());
    EXPECT_EQ(model.selectedRange(), hello);

    // Changed text: carried over by character index.
    model.updateLayoutCollection(AnyTextLayoutCollection(edited.shared()));
    ASSERT_TRUE(model.selectedRange().has_value());
    EXPECT_EQ(characterIndex(edited.collection(), model.selectedRange()->start), 0u);
    EXPECT_EQ(characterIndex(edited.collection(), model.selectedRange()->end), 5u);

    // Another number of texts: cleared.
    model.updateLayoutCollection(AnyTextLayoutCollection(twoTexts.shared()));
    EXPECT_EQ(model.selectedRange(), std::nullopt);
}

} // namespace
} // namespace vellum
