// The robot's steps on tree views. Items are named by the texts of their path from the top
// level. Expanding and collapsing click the item's button as a person does, so the tree asks its
// parent (TVN_ITEMEXPANDING) every time; TVM_EXPAND would ask only the first time.
#include "control_driver.h"
#include "robot.h"
#include "robot_util.h"

namespace host {
namespace {

bool IsTree(HWND control) {
    return ClassOf(control) == WC_TREEVIEWW;
}

} // namespace

bool Robot::ClickAt(HWND control, POINT at) {
    PostClick(control, at);
    return Sync();
}

bool Robot::TreePath(const Step& step, HWND& tree, std::vector<std::wstring>& path,
                     std::string& why) {
    if (!UsableControl(step.Arg(0).text, tree, why))
        return false;
    if (!IsTree(tree)) {
        why = "control " + step.Arg(0).text + " is not a tree view";
        return false;
    }
    path.clear();
    for (size_t i = 1; i < step.ArgCount() && step.Arg(i).quoted; ++i)
        path.push_back(Wide(step.Arg(i).text));
    // Every collapsed parent gets a click on its button, from the top down; each click may
    // fill the parent (the dialog browses its server then).
    for (size_t depth = 1; depth < path.size(); ++depth) {
        const std::vector<std::wstring> parent(path.begin(), path.begin() + depth);
        bool found = false, expanded = false, button = false;
        POINT at = {};
        OnUi([&] {
            HTREEITEM item = nullptr;
            found = FindTreeItem(tree, parent, item, why);
            expanded = found && TreeItemExpanded(tree, item);
            button = found && !expanded && TreeButtonPoint(tree, item, at);
        });
        if (!found)
            return false;
        if (expanded)
            continue;
        if (!button) {
            why = "\"" + TreePathText(path, depth) + "\" is collapsed and shows no button";
            return false;
        }
        if (!ClickAt(tree, at))
            return false;
    }
    return true;
}

bool Robot::TreeSelect(const Step& step, std::string& why) {
    HWND tree = nullptr;
    std::vector<std::wstring> path;
    if (!TreePath(step, tree, path, why))
        return false;
    HTREEITEM item = nullptr;
    bool found = false, shown = false;
    POINT at = {};
    OnUi([&] {
        found = FindTreeItem(tree, path, item, why);
        shown = found && TreeTextPoint(tree, item, at);
    });
    if (!found)
        return false;
    if (!shown) {
        why = "the tree does not show \"" + TreePathText(path, path.size()) + "\"";
        return false;
    }
    if (!ClickAt(tree, at))
        return false;
    HTREEITEM selected = nullptr;
    OnUi([&] { selected = TreeView_GetSelection(tree); });
    if (selected != item) {
        why = "clicking \"" + TreePathText(path, path.size()) + "\" did not select it";
        return false;
    }
    return true;
}

bool Robot::ToggleTreeItem(const Step& step, bool expand, std::string& why) {
    HWND tree = nullptr;
    std::vector<std::wstring> path;
    if (!TreePath(step, tree, path, why))
        return false;
    bool found = false, expanded = false, button = false;
    POINT at = {};
    OnUi([&] {
        HTREEITEM item = nullptr;
        found = FindTreeItem(tree, path, item, why);
        expanded = found && TreeItemExpanded(tree, item);
        button = found && TreeButtonPoint(tree, item, at);
    });
    if (!found)
        return false;
    const std::string name = "\"" + TreePathText(path, path.size()) + "\"";
    if (expanded == expand) {
        why = name + " is " + (expanded ? "expanded" : "collapsed") + " already";
        return false;
    }
    if (!button) {
        why = name + " shows no button";
        return false;
    }
    return ClickAt(tree, at);
}

bool Robot::TreeExpand(const Step& step, std::string& why) {
    return ToggleTreeItem(step, true, why);
}

bool Robot::TreeCollapse(const Step& step, std::string& why) {
    return ToggleTreeItem(step, false, why);
}

bool Robot::ExpectTree(const Step& step, std::string& why) {
    HWND tree = nullptr;
    if (!Control(step.Arg(0).text, tree, why))
        return false;
    if (!IsTree(tree)) {
        why = "control " + step.Arg(0).text + " is not a tree view";
        return false;
    }
    std::vector<std::wstring> path, wanted;
    size_t i = 1;
    for (; step.Arg(i).quoted; ++i)
        path.push_back(Wide(step.Arg(i).text));
    for (++i; i < step.ArgCount(); ++i)
        if (step.Arg(i).quoted)
            wanted.push_back(Wide(step.Arg(i).text));
    bool found = true;
    std::vector<std::wstring> children;
    OnUi([&] {
        HTREEITEM item = nullptr;
        found = FindTreeItem(tree, path, item, why);
        if (found)
            children = TreeChildren(tree, item);
    });
    if (!found)
        return false;
    if (children != wanted) {
        const auto list = [](const std::vector<std::wstring>& texts) {
            std::string text;
            for (const std::wstring& t : texts)
                text += (text.empty() ? "" : ", ") + Quoted(t);
            return text.empty() ? std::string("none") : text;
        };
        why = (path.empty() ? std::string("the top level")
                            : "\"" + TreePathText(path, path.size()) + "\"") +
              " has the children " + list(children) + ", expected " + list(wanted);
        return false;
    }
    return true;
}

} // namespace host
