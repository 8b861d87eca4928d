#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <gtkmm.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mossbarrow {

// A record carried by a list model. gtkmm's list stores hold GObjects; this wraps one value.
template <class Record>
class RecordItem : public Glib::Object {
public:
    static Glib::RefPtr<RecordItem> create(Record record) {
        // gtkmm's own idiom: the reference-counted wrapper takes the fresh instance.
        return Glib::make_refptr_for_instance<RecordItem>(new RecordItem(std::move(record)));
    }

    const Record& record() const noexcept { return record_; }
    // A reload can bring a new version of a record under the same id.
    void setRecord(Record record) { record_ = std::move(record); }

protected:
    explicit RecordItem(Record record)
        : Glib::ObjectBase(typeid(RecordItem))
        , record_(std::move(record)) {}

private:
    Record record_;
};

// A virtualised list of records: only the rows in view (and a few around them) exist as
// widgets, so long lists stay cheap. `Row` is a widget with a default constructor and
// `show(const Record&, bool isSelected)`.
//
// The list has no selection of its own: the owner keeps it (by record id) and is told of taps.
// The owner is also told each time a row comes into view, which is how paging is driven.
template <class Record, class Row>
class RecordListView : public Gtk::ScrolledWindow {
public:
    using IdOf = std::function<std::string(const Record&)>;

    explicit RecordListView(IdOf idOf)
        : idOf_(std::move(idOf))
        , store_(Gio::ListStore<RecordItem<Record>>::create()) {
        auto factory = Gtk::SignalListItemFactory::create();
        factory->signal_setup().connect([this](const Glib::RefPtr<Gtk::ListItem>& item) {
            auto* const row = Gtk::make_managed<Row>();
            auto click = Gtk::GestureClick::create();
            Gtk::ListItem* const slot = item.get();
            click->signal_released().connect([this, slot](int, double, double) {
                if (auto wrapped =
                        std::dynamic_pointer_cast<RecordItem<Record>>(slot->get_item())) {
                    if (onTap) {
                        const Record record = wrapped->record(); // the tap may reload the list
                        onTap(record);
                    }
                }
            });
            row->add_controller(click);
            auto secondary = Gtk::GestureClick::create();
            secondary->set_button(GDK_BUTTON_SECONDARY);
            secondary->signal_pressed().connect([this, slot, row](int, double x, double y) {
                if (auto wrapped =
                        std::dynamic_pointer_cast<RecordItem<Record>>(slot->get_item())) {
                    if (onContextMenu) {
                        onContextMenu(wrapped->record(), *row, x, y);
                    }
                }
            });
            row->add_controller(secondary);
            item->set_child(*row);
        });
        factory->signal_bind().connect([this](const Glib::RefPtr<Gtk::ListItem>& item) {
            auto* const row = dynamic_cast<Row*>(item->get_child());
            auto wrapped = std::dynamic_pointer_cast<RecordItem<Record>>(item->get_item());
            if (row == nullptr || !wrapped) {
                return;
            }
            const std::string id = idOf_(wrapped->record());
            boundRows_[row] = {id, wrapped};
            row->show(wrapped->record(), selectedId_ && *selectedId_ == id);
        });
        factory->signal_unbind().connect([this](const Glib::RefPtr<Gtk::ListItem>& item) {
            if (auto* const row = dynamic_cast<Row*>(item->get_child())) {
                boundRows_.erase(row);
            }
        });
        list_.set_factory(factory);
        list_.set_model(Gtk::NoSelection::create(store_));
        list_.add_css_class("navigation-sidebar");
        set_child(list_);
        set_hexpand(true);
        set_vexpand(true);
        set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
        const auto adjustment = get_vadjustment();
        adjustment->signal_value_changed().connect([this] { checkLastRowShown(); });
        adjustment->signal_changed().connect([this] { checkLastRowShown(); });
        signal_map().connect([this] { checkLastRowShown(); });
    }

    ~RecordListView() override {
        // Rows are unbound while the bookkeeping they report to still exists.
        list_.set_model({});
        list_.set_factory({});
    }
    RecordListView(const RecordListView&) = delete;
    RecordListView& operator=(const RecordListView&) = delete;

    // Shows `records` in order. The leading rows whose ids stay (the whole list after a reload
    // of the same servers, the old pages when a next page arrives) keep their place, so the
    // scroll position and the rows in view stay as they are; they take the new records all the
    // same, since a record can change without changing its id.
    void setRecords(const std::vector<Record>& records) {
        std::vector<std::string> ids;
        ids.reserve(records.size());
        for (const Record& record : records) {
            ids.push_back(idOf_(record));
        }
        const std::size_t keep = static_cast<std::size_t>(
            std::mismatch(ids.begin(), ids.end(), ids_.begin(), ids_.end()).first - ids.begin());
        for (std::size_t i = 0; i < keep; ++i) {
            store_->get_item(static_cast<guint>(i))->setRecord(records[i]);
        }
        for (const auto& [row, bound] : boundRows_) {
            row->show(bound.item->record(), selectedId_ && *selectedId_ == bound.id);
        }
        if (keep == ids.size() && keep == ids_.size()) {
            return;
        }
        std::vector<Glib::RefPtr<RecordItem<Record>>> items;
        items.reserve(records.size() - keep);
        for (std::size_t i = keep; i < records.size(); ++i) {
            items.push_back(RecordItem<Record>::create(records[i]));
        }
        ids_ = std::move(ids);
        store_->splice(static_cast<guint>(keep), store_->get_n_items() - static_cast<guint>(keep),
                       items);
    }

    void setSelectedId(std::optional<std::string> id) {
        if (id == selectedId_) {
            return;
        }
        selectedId_ = std::move(id);
        for (const auto& [row, bound] : boundRows_) {
            row->setSelected(selectedId_ && *selectedId_ == bound.id);
        }
    }

    [[nodiscard]] std::size_t size() const noexcept { return ids_.size(); }
    // Scrolls so that the row at `position` is in view.
    void scrollTo(std::size_t position) {
        list_.activate_action("list.scroll-to-item",
                              Glib::Variant<guint32>::create(static_cast<guint32>(position)));
    }
    [[nodiscard]] const std::vector<std::string>& ids() const noexcept { return ids_; }
    [[nodiscard]] Gtk::ListView& listView() noexcept { return list_; }
    [[nodiscard]] const Glib::RefPtr<Gio::ListStore<RecordItem<Record>>>& store() const noexcept {
        return store_;
    }
    // A row that exists now, with what it shows.
    struct BoundRow {
        std::string id;
        Glib::RefPtr<RecordItem<Record>> item;
    };
    [[nodiscard]] const std::map<Row*, BoundRow>& boundRows() const noexcept { return boundRows_; }

    std::function<void(const Record&)> onTap;
    // A secondary click on a row, at (x, y) in the row's coordinates.
    std::function<void(const Record&, Gtk::Widget& row, double x, double y)> onContextMenu;
    // Called with the last record whenever the last row is within the visible part of the list
    // (the list view creates rows beyond the visible part, so their creation says nothing).
    std::function<void(const Record&)> onLastRowShown;

    // Whether the last row is (at least partly) in view now.
    [[nodiscard]] bool lastRowInView() {
        const guint count = store_->get_n_items();
        if (count == 0 || !get_mapped()) {
            return false;
        }
        const auto adjustment = get_vadjustment();
        const double upper = adjustment->get_upper();
        const double bottom = adjustment->get_value() + adjustment->get_page_size();
        const double rowHeight = upper / count;
        return bottom > upper - rowHeight;
    }

private:
    void checkLastRowShown() {
        if (onLastRowShown && lastRowInView()) {
            const Record record = store_->get_item(store_->get_n_items() - 1)->record();
            onLastRowShown(record);
        }
    }

    IdOf idOf_;
    Glib::RefPtr<Gio::ListStore<RecordItem<Record>>> store_;
    Gtk::ListView list_;
    std::vector<std::string> ids_;
    std::optional<std::string> selectedId_;
    std::map<Row*, BoundRow> boundRows_;
};

} // namespace mossbarrow
