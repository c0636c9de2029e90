// A small Windows for the entry control's tests: the store's scene with a grid
// model and the entry control over it, and helpers to find entries and to make
// operations fail.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "StoreTestScene.h"
#include "control/EntryControl.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"

namespace vantorell::testing {

class ControlScene : public StoreScene {
protected:
    ControlScene() { NameStartupFolders(); }

    // The index of the entry with this name, place and state; fails the test when
    // there is none.
    std::size_t IndexOf(std::string_view name, std::string_view location, std::string_view state) {
        for (std::size_t i = 0; i < Entries().size(); ++i) {
            const auto& e = Entries()[i];
            if (e.name == name && e.location == location && store::StateText(e.state) == state) return i;
        }
        ADD_FAILURE() << "no entry " << name << " in " << location << " with state " << state;
        return Entries().size();
    }
    bool Listed(std::string_view name) {
        for (const auto& e : Entries())
            if (e.name == name) return true;
        return false;
    }
    // The grid row that shows entry `index`.
    int RowOf(std::size_t index) { return grid.RowOfIndex(index).value_or(-1); }

    std::optional<platform::RegValue> Value(std::string_view code, std::string_view name) {
        const auto* loc = store::FindLocation(code);
        return p.GetValue(loc->hive, loc->keyOrFolderValue, name, loc->view);
    }
    std::optional<platform::ShortcutData> Link(std::string_view folder, std::string_view name) {
        platform::ShortcutData d;
        if (!p.ReadShortcut(text::JoinPath(folder, name), d)) return std::nullopt;
        return d;
    }
    // Makes `op` fail wherever its path contains `where`.
    void FailOn(platform::Op op, std::string where = "") {
        p.SetFaultHook([op, where](platform::Op o, platform::Hive, std::string_view at) {
            return o == op && at.find(where) != std::string_view::npos;
        });
    }
    void NoFaults() { p.SetFaultHook(nullptr); }

    const std::vector<std::string_view> none;
    const ui::NameLists lists{ui::NameList(p, none), ui::NameList(p, none), ui::NameList(p, none)};
    ui::GridModel grid{lists};
    control::EntryControl control{store, p, grid};
};

}  // namespace vantorell::testing
