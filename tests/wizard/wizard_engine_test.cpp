// The engine's foundations: the string table, description stacks and
// exceptions, message redirection, and trees behind their Qt model.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "runtime/imsg.h"
#include "platform/orbis/sum.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_tree.h"

TEST(WizStrings, InsertsAndTheTable) {
    struct row {
        std::string text;
        std::vector<wiz_arg> args;
        std::string want;
    } rows[] = {
        {"%1!s! Import Wizard", {std::string("Vantor")}, "Vantor Import Wizard"},
        {"%2!s! before %1!s!, %1!s! again", {std::string("a"), std::string("b")}, "b before a, a again"},
        {"status: %1!d!.", {3LL}, "status: 3."},
        {"status: %1!d!.", {std::string("12")}, "status: 12."},
        {"Unable:\n\n%s", {std::string("why")}, "Unable:\n\nwhy"},
        {"%s and %d", {std::string("x"), 7LL}, "x and 7"},
        {"100%% of %1!s!", {std::string("it")}, "100% of it"},
        {"missing %1!s!|%2!s!|", {std::string("one")}, "missing one||"},
        {"a lone % stays, and %x too", {}, "a lone % stays, and %x too"},
        {"%10!s!",
         {std::string("1"), std::string("2"), std::string("3"), std::string("4"), std::string("5"),
          std::string("6"), std::string("7"), std::string("8"), std::string("9"), std::string("ten")},
         "ten"},
    };
    for (const row &r : rows)
        EXPECT_EQ(wiz_format_text(r.text, r.args), r.want) << r.text;

    EXPECT_EQ(wiz_title(), "Vantor Import Wizard");
    EXPECT_EQ(wiz_format(IDS_BAD_STATUS, {3LL}), "Subprocess terminated with bad status: 3.");
    EXPECT_EQ(wiz_format(IDS_NO_VOB_ACCESS, {std::string("/v/src")}),
              "Unable to access the VOB directory:\n\n\"/v/src\"");
    // The texts as users know them, typos included.
    EXPECT_NE(std::string(wiz_string(IDS_FAIL_SOME)).find("importing fles into"), std::string::npos);
    EXPECT_NE(std::string(wiz_string(IDS_CANCEL_PROJECT)).find("project's steam"), std::string::npos);
    EXPECT_STREQ(wiz_string(IDS_STOCK_EDITOR), "xdg-open");
    EXPECT_STREQ(wiz_string(99999), "");
    // Every text is there, and no number twice.
    std::vector<int> ids = wiz_string_ids();
    EXPECT_EQ(ids.size(), 100u);
    for (int id : ids)
        EXPECT_STRNE(wiz_string(id), "") << id;
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

namespace {

wiz_context_stack nested_on_threads(std::unique_ptr<VantorException> *caught) {
    DynamicContext outer(wiz_format(IDS_CTX_RUNNING, {wiz_title()}));
    wiz_context_stack seen;
    // A start gate, as the engine's threads have: the thread runs nothing
    // before its creator has handed it the stack.
    std::promise<void> gate;
    std::thread second([&, opened = gate.get_future()]() mutable {
        opened.wait();
        DynamicContext request(wiz_format(IDS_CTX_IMPORTING, {std::string("/src/a"), std::string("/v/a")}));
        try {
            DynamicContext command(wiz_format(IDS_CTX_EXPORT_CMD, {std::string("vantexport_rcs -r")}));
            throw VantorException(1001, "it failed\n");
        } catch (const VantorException &e) {
            *caught = std::make_unique<VantorException>(e);
        }
        seen = wiz_context_snapshot();
        wiz_context_thread_end();
    });
    // The second thread starts with what its creator handed it.
    wiz_context_hand_to(second.get_id(), wiz_context_snapshot());
    gate.set_value();
    second.join();
    return seen;
}

}   // namespace

TEST(WizError, ContextsNestAcrossThreadsAndExceptionsKeepTheirSnapshot) {
    std::unique_ptr<VantorException> e;
    wiz_context_stack after = nested_on_threads(&e);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->status(), 1001);
    EXPECT_EQ(e->message(), "it failed\n");
    std::string text = e->context_text();
    EXPECT_EQ(text,
              "running Vantor Import Wizard\n importing from /src/a to /v/a\n  running export command: "
              "vantexport_rcs -r\n");
    EXPECT_EQ(e->innermost(), "running export command: vantexport_rcs -r");
    EXPECT_FALSE(after.empty());
    EXPECT_EQ(after.back(), "importing from /src/a to /v/a");
    // The main thread's stack is back to empty.
    EXPECT_TRUE(wiz_context_snapshot().empty());

    // A copy has its own snapshot and computes its texts again.
    VantorException copy(*e);
    EXPECT_EQ(copy.context_text(), text);
    VantorException other(7);
    EXPECT_EQ(other.message(), "");
    EXPECT_EQ(other.context_text(), "");
    other = copy;
    EXPECT_EQ(other.status(), 1001);
    EXPECT_EQ(other.innermost(), e->innermost());
}

TEST(WizError, RedirectorCatchesOnlyItsThread) {
    SUM_ImsgRedirector outer;
    imsg_printf(IMSG_ERROR, "first %d", 1);
    {
        SUM_ImsgRedirector inner;
        imsg_printf(IMSG_WARNING, "inner");
        EXPECT_EQ(inner.count(), 1);
    }
    imsg_printf(IMSG_CONT, "second");
    std::thread other([] {
        SUM_ImsgRedirector own;
        imsg_printf(IMSG_NOTICE, "elsewhere");
        EXPECT_EQ(own.text(), "elsewhere\n");
    });
    other.join();
    EXPECT_EQ(outer.count(), 2);
    EXPECT_NE(outer.message(0).find("Error: first 1\n"), std::string::npos);
    EXPECT_EQ(outer.message(1), "    second\n");
    VantorException e(5, outer);
    EXPECT_EQ(e.message(), outer.text());
}

namespace {

// A tree of numbers: item N has the children N*10+1 .. N*10+3 below 1000,
// and none from there on.
class NumberTree : public WizTree {
public:
    int fetches = 0;
    std::vector<std::unique_ptr<WizTreeItem>> fetch(WizTreeItem *item) override {
        ++fetches;
        std::vector<std::unique_ptr<WizTreeItem>> out;
        long base = item ? std::stol(item->label) : 0;
        if (base >= 100)
            return out;
        for (int i = 3; i >= 1; --i) {
            auto it = std::make_unique<WizTreeItem>();
            it->label = std::to_string(base * 10 + i);
            it->expandable = true;
            out.push_back(std::move(it));
        }
        sort_by_label(&out);
        return out;
    }
    bool can_select(const WizTreeItem *item) override { return item->parent != nullptr; }
};

}   // namespace

TEST(WizTree, ModelFillsLazilyAndSelectionFollowsTheRules) {
    NumberTree tree;
    WizTreeModel model(&tree);
    EXPECT_EQ(model.rowCount(), 0);
    model.fill_top();
    model.fill_top();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(tree.fetches, 1);
    QModelIndex one = model.index(0, 0);
    EXPECT_EQ(model.data(one).toString().toStdString(), "1");
    EXPECT_TRUE(model.hasChildren(one));
    EXPECT_TRUE(model.canFetchMore(one));
    EXPECT_EQ(model.rowCount(one), 0);
    model.fetchMore(one);
    EXPECT_FALSE(model.canFetchMore(one));
    ASSERT_EQ(model.rowCount(one), 3);
    QModelIndex twelve = model.index(1, 0, one);
    EXPECT_EQ(model.data(twelve).toString().toStdString(), "12");
    // Names from a store reach the lists escaped where they are not UTF-8.
    EXPECT_EQ(wiz_shown("caf\xe9 / caf\xc3\xa9\x1b").toStdString(), "caf\\xe9 / caf\xc3\xa9\\x1b");
    EXPECT_EQ(model.parent(twelve), one);
    EXPECT_EQ(model.index_of(model.item(twelve)), twelve);

    // 123's fetch finds nothing: it loses its expand button.
    WizTreeItem *leaf = tree.find({"1", "12", "123"});
    ASSERT_TRUE(leaf);
    EXPECT_EQ(WizTree::labels_of(leaf), (std::vector<std::string>{"1", "12", "123"}));
    QModelIndex li = model.index_of(leaf);
    EXPECT_TRUE(model.hasChildren(li));
    model.fetchMore(li);
    EXPECT_FALSE(model.hasChildren(li));
    EXPECT_FALSE(leaf->expandable);
    EXPECT_EQ(tree.find({"1", "19"}), nullptr);

    // A top item is refused and the old selection stays.
    EXPECT_TRUE(tree.select(leaf));
    EXPECT_FALSE(tree.select(tree.top()[0].get()));
    EXPECT_EQ(tree.selected(), leaf);
    model.reset();
    EXPECT_EQ(tree.selected(), nullptr);
    EXPECT_EQ(model.rowCount(), 0);
}
