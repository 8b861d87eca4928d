#pragma once

#include "Mossbarrow/Views/EmptyStateView.hpp"
#include "Mossbarrow/Views/ErrorView.hpp"
#include "Mossbarrow/Views/LoadingView.hpp"
#include "Mossbarrow/Views/RecordListView.hpp"

#include <functional>
#include <gtkmm.h>
#include <optional>
#include <string>
#include <vector>

namespace mossbarrow {

// The list area of a browsing column: exactly one of a loading view, an error view with a retry
// button, an empty view, or the records themselves with a progress indicator along the bottom
// edge while a next page loads.
template <class Record, class Row>
class PagedListPanel : public Gtk::Stack {
public:
    struct Texts {
        Glib::ustring loading;    // beside the spinner of a first load
        Glib::ustring emptyTitle; // when nothing is to be listed
        Glib::ustring emptyMessage;
    };

    PagedListPanel(const Texts& texts, std::function<void()> onRetry,
                   typename RecordListView<Record, Row>::IdOf idOf)
        : loading_(texts.loading)
        , error_("", "Retry", std::move(onRetry))
        , empty_(texts.emptyTitle, texts.emptyMessage)
        , list_(std::move(idOf)) {
        loadingMore_.set_spinning(true);
        loadingMore_.set_halign(Gtk::Align::CENTER);
        loadingMore_.set_valign(Gtk::Align::END);
        loadingMore_.set_margin_top(8);
        loadingMore_.set_margin_bottom(8);
        loadingMore_.set_visible(false);
        overlay_.set_child(list_);
        overlay_.add_overlay(loadingMore_);
        add(loading_, "loading");
        add(error_, "error");
        add(empty_, "empty");
        add(overlay_, "list");
        set_vexpand(true);
    }

    // Shows `records`, in the first form whose rule holds: a first load runs with nothing
    // loaded; a failure is recorded with nothing loaded; nothing to list; else the list. Rows
    // already shown stay during a reload, and a failed reload shows no error over them.
    void show(bool isLoading, bool hasLoaded, const std::optional<std::string>& errorMessage,
              const std::vector<Record>& records, bool isLoadingMore) {
        if (isLoading && !hasLoaded) {
            set_visible_child("loading");
        } else if (errorMessage && !hasLoaded) {
            error_.setMessage(*errorMessage);
            set_visible_child("error");
        } else if (records.empty()) {
            set_visible_child("empty");
        } else {
            set_visible_child("list");
        }
        list_.setRecords(records);
        loadingMore_.set_visible(isLoadingMore);
    }

    // "loading", "error", "empty" or "list".
    [[nodiscard]] Glib::ustring visibleForm() const { return get_visible_child_name(); }
    [[nodiscard]] RecordListView<Record, Row>& list() noexcept { return list_; }
    [[nodiscard]] ErrorView& errorView() noexcept { return error_; }
    [[nodiscard]] bool showsLoadingMore() const { return loadingMore_.get_visible(); }

private:
    LoadingView loading_;
    ErrorView error_;
    EmptyStateView empty_;
    Gtk::Overlay overlay_;
    RecordListView<Record, Row> list_;
    Gtk::Spinner loadingMore_;
};

} // namespace mossbarrow
