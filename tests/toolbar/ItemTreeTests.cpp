// The item tree: insertion and deletion with their notifications, setters, radio groups and
// options, relays through inline groups and links, listeners that change during a broadcast,
// shortcut lookup, actions, streaming, control items and the post queue.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ToolbarTestSupport.h"
#include "platform/Streams.h"
#include "toolbar/TBFramework.h"
#include "toolbar/TBItem.h"
#include "toolbar/TBView.h"

namespace {

using Kind = TTBItemChangeKind;
using TItemPtr = std::unique_ptr<TTBCustomItem, TObjectFree>;

TItemPtr MakeItem(const std::wstring& caption = L"", TComponent* owner = nullptr)
{
    TItemPtr item(New<TTBCustomItem>(owner));
    item->SetCaption(caption);
    return item;
}

struct TChange {
    TTBCustomItem* Sender;
    bool Relayed;
    Kind ChangeKind;
    int Index;
    TTBCustomItem* Item;
    bool operator==(const TChange&) const = default;
};

// Records what an item tells its listeners.
class TRecorder {
public:
    std::vector<TChange> Events;
    std::function<void(const TChange&)> During;

    void Changed(TTBCustomItem* sender, bool relayed, Kind kind, int index, TTBCustomItem* item)
    {
        TChange e{sender, relayed, kind, index, item};
        Events.push_back(e);
        if (During)
            During(e);
    }
    TTBItemChangedProc Proc() { return TTBItemChangedProc(this, &TRecorder::Changed); }
    std::vector<Kind> Kinds() const
    {
        std::vector<Kind> kinds;
        for (const TChange& e : Events)
            kinds.push_back(e.ChangeKind);
        return kinds;
    }
};

TEST(ItemTree, InsertTellsBeginInsertedEndAndRecomputesOptionsBetween)
{
    TItemPtr root = MakeItem();
    root->SetOptions(tboToolbarStyle);
    TRecorder recorder;
    root->SubscribeChanges(recorder.Proc());
    TItemPtr child = MakeItem(L"Child");
    TTBItemOptions seenAtInsert = 0xFFFF;
    recorder.During = [&](const TChange& e) {
        if (e.ChangeKind == Kind::ickInserted)
            seenAtInsert = e.Item->GetEffectiveOptions();
    };
    root->Insert(0, child.get());
    EXPECT_EQ(recorder.Kinds(), (std::vector<Kind>{Kind::ickBeginUpdate, Kind::ickInserted, Kind::ickRelayout,
                                                   Kind::ickEndUpdate}));
    EXPECT_EQ(recorder.Events[1], (TChange{root.get(), false, Kind::ickInserted, 0, child.get()}));
    EXPECT_EQ(recorder.Events[2].Item, child.get());
    EXPECT_EQ(seenAtInsert, 0) << "options follow the new parent after the insertion is told";
    EXPECT_EQ(child->GetEffectiveOptions(), tboToolbarStyle);
    EXPECT_EQ(child->GetParent(), root.get());
    root->Remove(child.get());
    root->UnsubscribeChanges(recorder.Proc());
}

TEST(ItemTree, BadInsertsAndMovesChangeNothing)
{
    TItemPtr root = MakeItem();
    TTBCustomItem* a = AddItem(root.get(), L"A");
    TTBCustomItem* b = AddItem(root.get(), L"B");
    TTBCustomItem* grand = AddItem(a, L"Grand");
    TItemPtr loose = MakeItem(L"Loose");
    TRecorder recorder;
    root->SubscribeChanges(recorder.Proc());
    struct TCase {
        const char* Name;
        std::function<void()> Act;
        const char* Message;
    };
    const TCase cases[] = {
        {"past the end", [&] { root->Insert(3, loose.get()); }, "Toolbar item index out of range"},
        {"negative", [&] { root->Insert(-1, loose.get()); }, "Toolbar item index out of range"},
        {"already inserted", [&] { root->Insert(0, grand); }, "Toolbar item already inserted"},
        {"into its own subitem", [&] { grand->Insert(0, root.get()); }, "A toolbar item cannot be inserted below itself"},
        {"into itself", [&] { loose->Insert(0, loose.get()); }, "A toolbar item cannot be inserted below itself"},
        {"move from past the end", [&] { root->Move(2, 0); }, "Toolbar item index out of range"},
        {"move to past the end", [&] { root->Move(0, 2); }, "Toolbar item index out of range"},
        {"delete past the end", [&] { root->Delete(2); }, "Toolbar item index out of range"},
        {"item past the end", [&] { root->GetItem(2); }, "Toolbar item index out of range"},
    };
    for (const TCase& c : cases) {
        try {
            c.Act();
            ADD_FAILURE() << c.Name << ": no error";
        } catch (const ETBItemError& e) {
            EXPECT_EQ(e.GetMessage(), c.Message) << c.Name;
        }
        EXPECT_TRUE(recorder.Events.empty()) << c.Name;
        ASSERT_EQ(root->Count(), 2) << c.Name;
        EXPECT_EQ(root->GetItem(0), a);
        EXPECT_EQ(root->GetItem(1), b);
        EXPECT_EQ(loose->GetParent(), nullptr);
    }
    root->Insert(2, loose.get());
    EXPECT_EQ(root->GetItem(2), loose.get()) << "Insert at Count appends";
    root->Remove(loose.get());
    root->UnsubscribeChanges(recorder.Proc());
}

TEST(ItemTree, DeleteMoveAndClear)
{
    TItemPtr root = MakeItem();
    TTBCustomItem* a = AddItem(root.get(), L"A");
    TTBCustomItem* b = AddItem(root.get(), L"B");
    TTBCustomItem* c = AddItem(root.get(), L"C");
    TRecorder recorder;
    root->SubscribeChanges(recorder.Proc());
    root->Move(0, 2);
    EXPECT_EQ(recorder.Kinds(), (std::vector<Kind>{Kind::ickBeginUpdate, Kind::ickDeleting, Kind::ickBeginUpdate,
                                                   Kind::ickInserted, Kind::ickEndUpdate, Kind::ickEndUpdate}));
    EXPECT_EQ(recorder.Events[1].Index, 0);
    EXPECT_EQ(recorder.Events[3].Index, 2);
    EXPECT_EQ(root->GetItem(0), b);
    EXPECT_EQ(root->GetItem(2), a);
    recorder.Events.clear();
    root->Move(1, 1);
    EXPECT_TRUE(recorder.Events.empty());

    root->Delete(0);
    EXPECT_EQ(recorder.Events, (std::vector<TChange>{{root.get(), false, Kind::ickDeleting, 0, b}}));
    EXPECT_EQ(b->GetParent(), nullptr);
    EXPECT_EQ(root->IndexOf(b), -1);
    TItemPtr freeB(b);

    // A listener that removes the item itself while told of its deletion does no harm.
    bool removing = false;
    recorder.During = [&](const TChange& e) {
        if (e.ChangeKind == Kind::ickDeleting && e.Item == c && !removing) {
            removing = true;
            root->Remove(c);
        }
    };
    root->Delete(0);
    EXPECT_EQ(root->Count(), 1);
    EXPECT_EQ(root->GetItem(0), a);
    TItemPtr freeC(c);
    recorder.During = nullptr;

    AddItem(a, L"Sub");
    AddItem(root.get(), L"D");
    int before = TBLiveObjectCount();
    root->Clear();
    EXPECT_EQ(root->Count(), 0);
    EXPECT_EQ(TBLiveObjectCount(), before - 3) << "subitems and their subitems are freed";
    root->UnsubscribeChanges(recorder.Proc());
}

TEST(ItemTree, AListenerThatFailsLeavesNoViewWaitingForTheEndOfAnUpdate)
{
    TTestWindow host(400, 100, WS_POPUP | WS_VISIBLE);
    std::unique_ptr<TViewHost, TObjectFree> control(New<TViewHost>(nullptr));
    control->SetBounds(0, 0, 300, 30);
    control->SetParentWindow(host.Handle());
    TItemPtr root = MakeItem();
    AddItem(root.get(), L"A");
    AddItem(root.get(), L"B");
    std::unique_ptr<TTBView, TObjectFree> view(
        New<TTBView>(control.get(), nullptr, root.get(), control.get(), true, false, false));
    control->View = view.get();
    view->EnsureLayout();
    // A listener after the view that fails, as a viewer that cannot be built does.
    TRecorder failing;
    failing.During = [](const TChange& e) {
        if (e.ChangeKind == Kind::ickInserted)
            throw Exception("viewer failed");
    };
    root->SubscribeChanges(failing.Proc());
    struct TCase {
        const char* Name;
        std::function<void()> Act;
    };
    const TCase cases[] = {
        {"insert", [&] { root->Insert(0, New<TTBCustomItem>(nullptr)); }},
        {"move", [&] { root->Move(0, 2); }},
    };
    for (const TCase& c : cases) {
        EXPECT_THROW(c.Act(), Exception) << c.Name;
        EXPECT_EQ(view->GetUpdateCount(), 0) << c.Name;
        EXPECT_TRUE(view->GetLayoutValid()) << c.Name << ": the view lays out again";
        EXPECT_EQ(view->GetViewerCount(), root->Count()) << c.Name;
    }
    root->UnsubscribeChanges(failing.Proc());
    control->View = nullptr;
}

TEST(ItemTree, SettersTellOnlyRealChangesWithTheirKind)
{
    TItemPtr root = MakeItem();
    TTBCustomItem* item = AddItem(root.get(), L"Item");
    TRecorder recorder;
    root->SubscribeChanges(recorder.Proc());
    struct TCase {
        const char* Name;
        std::function<void()> Set;
        std::vector<Kind> Expected;
    };
    const std::vector<Kind> none, relayout{Kind::ickRelayout}, repaint{Kind::ickRepaint};
    const TCase cases[] = {
        {"same caption", [&] { item->SetCaption(L"Item"); }, none},
        {"caption", [&] { item->SetCaption(L"Other"); }, relayout},
        {"checked", [&] { item->SetChecked(true); }, repaint},
        {"same checked", [&] { item->SetChecked(true); }, none},
        {"enabled", [&] { item->SetEnabled(false); }, repaint},
        {"visible", [&] { item->SetVisible(false); }, relayout},
        {"same visible", [&] { item->SetVisible(false); }, none},
        {"image appears", [&] { item->SetImageIndex(3); }, relayout},
        {"image changes", [&] { item->SetImageIndex(4); }, repaint},
        {"image goes", [&] { item->SetImageIndex(-1); }, relayout},
        {"no image either way", [&] { item->SetImageIndex(-2); }, repaint},
        {"display mode", [&] { item->SetDisplayMode(TTBItemDisplayMode::nbdmTextOnly); }, relayout},
        {"radio", [&] { item->SetRadioItem(true); }, repaint},
        {"hint", [&] { item->SetHint(L"Hint"); }, none},
        {"shortcut", [&] { item->SetShortCut(scCtrl | 'S'); }, relayout},
        {"same shortcut", [&] { item->SetShortCut(scCtrl | 'S'); }, none},
        {"group index", [&] { item->SetGroupIndex(2); }, none},
        {"options without size effect", [&] { item->SetOptions(tboShowHint); }, none},
        {"options with size effect", [&] { item->SetOptions(tboShowHint | tboDefault); }, relayout},
    };
    for (const TCase& c : cases) {
        recorder.Events.clear();
        c.Set();
        EXPECT_EQ(recorder.Kinds(), c.Expected) << c.Name;
        for (const TChange& e : recorder.Events)
            EXPECT_EQ(e.Item, item) << c.Name;
    }

    // Lists and links tell the item's own listeners.
    TRecorder own;
    item->SubscribeChanges(own.Proc());
    TItemPtr other = MakeItem(L"Other");
    item->SetLinkSubitems(item);
    EXPECT_EQ(item->GetLinkSubitems(), nullptr) << "an item linking to itself links to nothing";
    EXPECT_TRUE(own.Events.empty());
    item->SetLinkSubitems(other.get());
    EXPECT_EQ(own.Kinds(), std::vector<Kind>{Kind::ickSubitemsReplaced});
    other.reset();
    EXPECT_EQ(item->GetLinkSubitems(), nullptr) << "the link goes with the linked item";
    item->UnsubscribeChanges(own.Proc());
    root->UnsubscribeChanges(recorder.Proc());
}

TEST(ItemTree, ImageListsResizeOnlyWhenTheImageSizeChanges)
{
    TItemPtr root = MakeItem();
    TTBCustomItem* item = AddItem(root.get(), L"Item");
    TRecorder recorder, own;
    root->SubscribeChanges(recorder.Proc());
    item->SubscribeChanges(own.Proc());
    using TListPtr = std::unique_ptr<TImageList, TObjectFree>;
    TListPtr small1(New<TImageList>(nullptr, 16, 16));
    TListPtr small2(New<TImageList>(nullptr, 16, 16));
    TListPtr large(New<TImageList>(nullptr, 24, 24));
    struct TCase {
        const char* Name;
        std::function<void()> Act;
        std::vector<Kind> Expected;
    };
    const TCase cases[] = {
        {"a list appears", [&] { item->SetImages(small1.get()); }, {Kind::ickRelayout}},
        {"another of the same size", [&] { item->SetImages(small2.get()); }, {Kind::ickRepaint}},
        {"a larger one", [&] { item->SetImages(large.get()); }, {Kind::ickRelayout}},
        {"the list's images change size", [&] { large->SetSize(20, 20); }, {Kind::ickRelayout}},
        {"the list goes", [&] { large.reset(); }, {Kind::ickRelayout}},
    };
    for (const TCase& c : cases) {
        recorder.Events.clear();
        c.Act();
        EXPECT_EQ(recorder.Kinds(), c.Expected) << c.Name;
    }
    EXPECT_EQ(item->GetImages(), nullptr);

    item->SetSubMenuImages(small1.get());
    EXPECT_EQ(own.Kinds(), std::vector<Kind>{Kind::ickSubmenuImages});
    small1->SetSize(32, 32);
    EXPECT_EQ(own.Kinds(), (std::vector<Kind>{Kind::ickSubmenuImages, Kind::ickSubmenuImages}));
    small1.reset();
    EXPECT_EQ(item->GetSubMenuImages(), nullptr);
    item->UnsubscribeChanges(own.Proc());
    root->UnsubscribeChanges(recorder.Proc());
}

TEST(ItemTree, RadioGroupsUncheckOnlyTheirOwnGroup)
{
    TItemPtr root = MakeItem();
    TTBCustomItem* items[5];
    const int groups[5] = {5, 5, 0, 0, 7};
    for (int i = 0; i < 5; ++i) {
        items[i] = AddItem(root.get(), L"Item");
        items[i]->SetGroupIndex(groups[i]);
        items[i]->SetChecked(true);
    }
    // Each check unchecked the earlier ones of its group.
    EXPECT_FALSE(items[0]->GetChecked());
    EXPECT_TRUE(items[1]->GetChecked());
    EXPECT_TRUE(items[2]->GetChecked()) << "group 0 is no group";
    EXPECT_TRUE(items[3]->GetChecked());
    EXPECT_TRUE(items[4]->GetChecked());
    items[0]->SetChecked(true);
    EXPECT_FALSE(items[1]->GetChecked());
    EXPECT_TRUE(items[4]->GetChecked());
    // A checked item joining a group unchecks the group's checked member.
    items[4]->SetGroupIndex(5);
    EXPECT_FALSE(items[0]->GetChecked());
    EXPECT_TRUE(items[4]->GetChecked());
    EXPECT_TRUE(items[2]->GetChecked());
}

TEST(ItemTree, EffectiveOptionsInheritMaskAndCascade)
{
    TItemPtr root = MakeItem();
    TTBCustomItem* child = AddItem(root.get(), L"Child");
    TTBCustomItem* grand = AddItem(child, L"Grand");
    struct TCase {
        TTBItemOptions RootOptions, ChildOptions, ChildMask;
        bool ChildInherits;
        TTBItemOptions Child, Grand;
    };
    const TCase cases[] = {
        {tboToolbarSize, 0, 0, true, 0, 0},
        {tboToolbarStyle | tboToolbarSize, 0, 0, true, tboToolbarStyle | tboToolbarSize, tboToolbarStyle | tboToolbarSize},
        {tboDefault | tboShowHint, 0, 0, true, tboShowHint, tboShowHint},
        {tboShowHint | tboNoAutoHint, 0, tboShowHint, true, tboNoAutoHint, tboNoAutoHint},
        {tboShowHint, tboDefault, 0, false, tboDefault, 0},
        {tboToolbarStyle, tboToolbarSize, 0, true, tboToolbarStyle, tboToolbarStyle},
    };
    for (const TCase& c : cases) {
        child->SetOptions(c.ChildOptions);
        child->SetMaskOptions(c.ChildMask);
        child->SetInheritOptions(c.ChildInherits);
        root->SetOptions(c.RootOptions);
        EXPECT_EQ(root->GetEffectiveOptions() & tboToolbarSize, c.RootOptions & tboToolbarStyle ? c.RootOptions & tboToolbarSize : 0);
        EXPECT_EQ(child->GetEffectiveOptions(), c.Child) << c.RootOptions;
        EXPECT_EQ(grand->GetEffectiveOptions(), c.Grand) << c.RootOptions;
    }
    child->SetOptions(tboToolbarSize);
    EXPECT_EQ(child->GetOptions(), 0) << "a size without the style is dropped as it is set";
}

TEST(ItemNotify, RelaysThroughInlineGroupsAndLinkingItems)
{
    TItemPtr root = MakeItem(L"Root");
    TTBCustomItem* group = AddItem(root.get(), L"Group", isInlineGroup);
    TTBCustomItem* plain = AddItem(root.get(), L"Plain");
    TTBCustomItem* linker = AddItem(root.get(), L"Linker", isInlineGroup);
    TItemPtr source = MakeItem(L"Source");
    linker->SetLinkSubitems(source.get());
    TRecorder atRoot, atGroup;
    root->SubscribeChanges(atRoot.Proc());
    group->SubscribeChanges(atGroup.Proc());

    TTBCustomItem* inGroup = AddItem(group, L"In group");
    EXPECT_EQ(atGroup.Events[1], (TChange{group, false, Kind::ickInserted, 0, inGroup}));
    EXPECT_EQ(atRoot.Events[1], (TChange{group, true, Kind::ickInserted, 0, inGroup})) << "relayed from the group";

    atRoot.Events.clear();
    AddItem(plain, L"In plain");
    EXPECT_TRUE(atRoot.Events.empty()) << "a plain item's changes stay with it";

    TTBCustomItem* inSource = AddItem(source.get(), L"In source");
    ASSERT_EQ(atRoot.Events.size(), 3u);
    EXPECT_EQ(atRoot.Events[1], (TChange{linker, true, Kind::ickInserted, 0, inSource})) << "relayed as the linking group";

    // A change of a grandchild travels as its parent's notification, relayed.
    atRoot.Events.clear();
    inGroup->SetCaption(L"Renamed");
    EXPECT_EQ(atRoot.Events, (std::vector<TChange>{{group, true, Kind::ickRelayout, -1, inGroup}}));

    root->UnsubscribeChanges(atRoot.Proc());
    group->UnsubscribeChanges(atGroup.Proc());
}

TEST(ItemNotify, RelaysStopAtTheDepthLimit)
{
    TItemPtr root = MakeItem(L"Root");
    std::vector<TTBCustomItem*> chain{root.get()};
    for (int i = 0; i < 12; ++i)
        chain.push_back(AddItem(chain.back(), L"Group", isInlineGroup));
    std::vector<std::unique_ptr<TRecorder>> recorders;
    for (TTBCustomItem* item : chain) {
        recorders.push_back(std::make_unique<TRecorder>());
        item->SubscribeChanges(recorders.back()->Proc());
    }
    chain.back()->Notify(Kind::ickRepaint, -1, nullptr);
    // The item itself and eleven levels above it hear; the twelfth (the root) does not.
    EXPECT_TRUE(recorders[0]->Events.empty());
    for (size_t i = 1; i < chain.size(); ++i) {
        ASSERT_EQ(recorders[i]->Events.size(), 1u) << "level " << i;
        EXPECT_EQ(recorders[i]->Events[0].Sender, chain.back());
        EXPECT_EQ(recorders[i]->Events[0].Relayed, i + 1 != chain.size());
    }
    for (size_t i = 0; i < chain.size(); ++i)
        chain[i]->UnsubscribeChanges(recorders[i]->Proc());
}

TEST(ItemNotify, ListenersChangingDuringABroadcast)
{
    struct TCase {
        const char* Name;
        std::function<void(TTBCustomItem*, TRecorder&, TRecorder&, TRecorder&)> FirstDoes;
        size_t SecondHears, ThirdHears;
    };
    const TCase cases[] = {
        {"first leaves", [](TTBCustomItem* item, TRecorder& a, TRecorder&, TRecorder&) { item->UnsubscribeChanges(a.Proc()); },
         1, 1},
        {"first removes the second", [](TTBCustomItem* item, TRecorder&, TRecorder& b, TRecorder&) { item->UnsubscribeChanges(b.Proc()); },
         0, 1},
        {"everyone leaves",
         [](TTBCustomItem* item, TRecorder& a, TRecorder& b, TRecorder& c) {
             item->UnsubscribeChanges(a.Proc());
             item->UnsubscribeChanges(b.Proc());
             item->UnsubscribeChanges(c.Proc());
         },
         0, 0},
        {"first adds the second again (counted)",
         [](TTBCustomItem* item, TRecorder&, TRecorder& b, TRecorder&) { item->SubscribeChanges(b.Proc()); }, 1, 1},
    };
    for (const TCase& c : cases) {
        TItemPtr item = MakeItem();
        TRecorder a, b, cRec;
        item->SubscribeChanges(a.Proc());
        item->SubscribeChanges(b.Proc());
        item->SubscribeChanges(cRec.Proc());
        bool once = true;
        a.During = [&](const TChange&) {
            if (once)
                c.FirstDoes(item.get(), a, b, cRec);
            once = false;
        };
        item->Notify(Kind::ickRepaint, -1, nullptr);
        EXPECT_EQ(a.Events.size(), 1u) << c.Name;
        EXPECT_EQ(b.Events.size(), c.SecondHears) << c.Name;
        EXPECT_EQ(cRec.Events.size(), c.ThirdHears) << c.Name;
        for (int i = 0; i < 2; ++i) {
            item->UnsubscribeChanges(a.Proc());
            item->UnsubscribeChanges(b.Proc());
            item->UnsubscribeChanges(cRec.Proc());
        }
        a.Events.clear();
        b.Events.clear();
        item->Notify(Kind::ickRepaint, -1, nullptr);
        EXPECT_TRUE(a.Events.empty() && b.Events.empty()) << c.Name << ": every registration went";
    }
}

// ---------------------------------------------------------------------------------------------
// Shortcuts

TMessage KeyMessage(WORD key, bool alt = false)
{
    return TMessage{WM_KEYDOWN, key, alt ? 0x20000000 : 0, 0};
}

TEST(ItemShortCut, FoundThroughTheTreeOpeningTheWayLikeAMenu)
{
    TItemPtr root = MakeItem(L"Root");
    std::vector<std::string> log;
    auto logClick = [&](const char* name) { return TNotifyEvent([&log, name](TObject*) { log.push_back(std::string("click ") + name); }); };
    auto logPopup = [&](const char* name) {
        return TTBPopupEvent([&log, name](TTBCustomItem*, bool fromLink) {
            log.push_back(std::string("popup ") + name + (fromLink ? " (link)" : ""));
        });
    };
    TTBCustomItem* file = AddItem(root.get(), L"&File", isSubmenu);
    TTBCustomItem* save = AddItem(file, L"&Save");
    save->SetShortCut(scCtrl | 'S');
    save->OnClick = logClick("save");
    file->OnPopup = logPopup("file");
    TTBCustomItem* edit = AddItem(root.get(), L"&Edit", isSubmenu);
    TTBCustomItem* copy = AddItem(edit, L"&Copy");
    copy->SetShortCut(scCtrl | 'C');
    copy->OnClick = logClick("copy");
    edit->SetEnabled(false);
    TTBCustomItem* tools = AddItem(root.get(), L"&Tools", isSubmenu);
    TTBCustomItem* late = nullptr;
    TTBCustomItem* stub = AddItem(tools, L"Stub");
    stub->SetShortCut(scCtrl | 'L');
    // The popup event replaces the submenu: the item found before it is gone.
    tools->OnPopup = TTBPopupEvent([&](TTBCustomItem*, bool) {
        if (late)
            return;
        tools->Clear();
        late = AddItem(tools, L"Late");
        late->SetShortCut(scCtrl | 'L');
        late->OnClick = logClick("late");
    });
    TItemPtr recentSource = MakeItem(L"Recent files");
    recentSource->OnPopup = logPopup("source");
    TTBCustomItem* recent = AddItem(recentSource.get(), L"One");
    recent->SetShortCut(scCtrl | 'R');
    recent->OnClick = logClick("recent");
    TTBCustomItem* recentMenu = AddItem(file, L"Recent", isSubmenu);
    recentMenu->SetLinkSubitems(recentSource.get());
    recentMenu->OnPopup = logPopup("recent menu");
    TTBCustomItem* disabled = AddItem(root.get(), L"Disabled");
    disabled->SetShortCut(scCtrl | 'D');
    disabled->SetEnabled(false);

    TKeysDown ctrl{VK_CONTROL};
    struct TCase {
        WORD Key;
        bool Handled;
        std::vector<std::string> Log;
    };
    const TCase cases[] = {
        {'S', true, {"popup file", "click save"}},
        {'C', false, {}},
        {'D', false, {}},
        {'X', false, {}},
        {'L', true, {"click late"}},
        {'R', true, {"popup file", "popup source (link)", "popup recent menu", "click recent"}},
    };
    for (const TCase& c : cases) {
        log.clear();
        EXPECT_EQ(root->IsShortCut(KeyMessage(c.Key)), c.Handled) << char(c.Key);
        EXPECT_EQ(log, c.Log) << char(c.Key);
    }
}

TEST(ItemShortCut, LinkCyclesEndTheSearch)
{
    TItemPtr a = MakeItem(L"A");
    TItemPtr b = MakeItem(L"B");
    TTBCustomItem* inB = AddItem(b.get(), L"In B");
    inB->SetLinkSubitems(a.get());
    TTBCustomItem* inA = AddItem(a.get(), L"In A");
    inA->SetLinkSubitems(b.get());
    TKeysDown ctrl{VK_CONTROL};
    EXPECT_FALSE(a->IsShortCut(KeyMessage('Q')));
}

TEST(ItemShortCut, ShortCutText)
{
    TItemPtr item = MakeItem(L"Save");
    struct TCase {
        std::wstring Caption;
        TShortCut ShortCut;
        std::wstring Text;
    };
    const TCase cases[] = {
        {L"Save", 0, L""},
        {L"Save", scCtrl | 'S', L"Ctrl+S"},
        {L"Save", scShift | scCtrl | scAlt | 'X', L"Shift+Ctrl+Alt+X"},
        {L"Save", scAlt | VK_F5, L"Alt+F5"},
        {L"Save", scShift | VK_DELETE, L"Shift+Del"},
        {L"Save", VK_RETURN, L"Enter"},
        {L"Save\tCtrl+Mine", scCtrl | 'S', L"Ctrl+Mine"},
        {L"Save\t", scCtrl | 'S', L""},
    };
    for (const TCase& c : cases) {
        item->SetCaption(c.Caption);
        item->SetShortCut(c.ShortCut);
        EXPECT_EQ(item->FormatShortCut(), c.Text);
    }
}

// ---------------------------------------------------------------------------------------------
// Actions

TEST(ItemAction, ClickPrecedenceAndAutoCheck)
{
    std::unique_ptr<TAction, TObjectFree> action(New<TAction>(nullptr));
    int executed = 0, clicked = 0;
    action->SetOnExecute(TNotifyEvent([&](TObject*) { ++executed; }));
    TItemPtr item = MakeItem();
    item->SetAction(action.get());
    EXPECT_TRUE(item->OnClick == action->GetOnExecute()) << "the item takes the action's handler";
    item->Click();
    EXPECT_EQ(executed, 1);

    item->OnClick = TNotifyEvent([&](TObject*) { ++clicked; });
    item->Click();
    EXPECT_EQ(clicked, 1) << "a handler of the item's own runs instead of the action";
    EXPECT_EQ(executed, 1);

    item->SetAction(nullptr);
    item->Click();
    EXPECT_EQ(clicked, 2);

    // Auto-check toggles the item unless the action owns it.
    item->SetAutoCheck(true);
    item->Click();
    EXPECT_TRUE(item->GetChecked());
    action->SetAutoCheck(true);
    action->SetOnExecute(TNotifyEvent([&](TObject*) { ++executed; }));
    item->OnClick = nullptr;
    item->SetChecked(false);
    item->SetAction(action.get());
    item->Click();
    EXPECT_TRUE(action->GetChecked()) << "the action checks itself";
    EXPECT_TRUE(item->GetChecked()) << "and the item follows it, toggled once";

    item->SetEnabled(false);
    action->SetEnabled(true);
    executed = 0;
    item->Click();
    EXPECT_EQ(executed, 0) << "a disabled item does nothing";
}

TEST(ItemAction, ChangesReachOnlyItemsStillShowingTheActionsValue)
{
    std::unique_ptr<TAction, TObjectFree> action(New<TAction>(nullptr));
    action->SetCaption("&Open");
    action->SetHint("Open|Opens a file");
    action->SetShortCut(scCtrl | 'O');
    action->SetImageIndex(2);
    TItemPtr follower = MakeItem();
    TItemPtr own = MakeItem();
    follower->SetAction(action.get());
    own->SetAction(action.get());
    EXPECT_EQ(follower->GetCaption(), L"&Open");
    EXPECT_EQ(follower->GetHint(), L"Open|Opens a file");
    EXPECT_EQ(follower->GetShortCut(), scCtrl | 'O');
    EXPECT_EQ(follower->GetImageIndex(), 2);
    own->SetCaption(L"My caption");
    action->SetCaption("&Load");
    action->SetEnabled(false);
    action->SetVisible(false);
    EXPECT_EQ(follower->GetCaption(), L"&Load");
    EXPECT_EQ(own->GetCaption(), L"My caption");
    EXPECT_FALSE(follower->GetEnabled());
    EXPECT_FALSE(own->GetEnabled());
    EXPECT_FALSE(follower->GetVisible());

    action.reset();
    EXPECT_EQ(follower->GetAction(), nullptr) << "a freed action leaves its items";
}

// ---------------------------------------------------------------------------------------------
// Streaming

std::string WriteTree(TComponent* root)
{
    TStringStream stream;
    TWriter writer(&stream);
    writer.WriteRootComponent(root);
    return stream.GetDataString();
}

TEST(ItemStreaming, WideCaptionsAndStateRoundTrip)
{
    TItemPtr owner = MakeItem();
    auto* root = New<TTBRootItem>(owner.get());
    root->SetName("Root");
    auto* menu = New<TTBCustomItem>(owner.get());
    menu->SetName("Menu");
    menu->SetCaption(L"&\x6587\x4EF6");
    menu->SetHint(L"Short|Long \x4E2D");
    menu->SetOptions(tboDefault | tboShowHint);
    root->Add(menu);
    auto* check = New<TTBCustomItem>(owner.get());
    check->SetName("Check");
    check->SetCaption(L"Check");
    check->SetChecked(true);
    check->SetShortCut(scCtrl | 'K');
    check->SetImageIndex(4);
    check->SetVisible(false);
    check->SetDisplayMode(TTBItemDisplayMode::nbdmImageAndText);
    menu->Add(check);
    auto* separator = New<TTBSeparatorItem>(owner.get());
    separator->SetName("Sep");
    separator->SetBlank(true);
    menu->Add(separator);
    std::string bytes = WriteTree(root);
    EXPECT_EQ(bytes.find("Caption", bytes.find("Sep")), std::string::npos) << "an empty caption is not written";

    TItemPtr readOwner = MakeItem();
    TStringStream stream(bytes);
    TReader reader(&stream);
    reader.SetOwner(readOwner.get());
    auto* read = As<TTBRootItem>(reader.ReadRootComponent(nullptr));
    ASSERT_EQ(read->Count(), 1);
    TTBCustomItem* readMenu = read->GetItem(0);
    EXPECT_EQ(readMenu->GetCaption(), menu->GetCaption());
    EXPECT_EQ(readMenu->GetHint(), menu->GetHint());
    EXPECT_EQ(readMenu->GetOptions(), tboDefault | tboShowHint);
    ASSERT_EQ(readMenu->Count(), 2);
    TTBCustomItem* readCheck = readMenu->GetItem(0);
    EXPECT_TRUE(readCheck->GetChecked());
    EXPECT_EQ(readCheck->GetShortCut(), scCtrl | 'K');
    EXPECT_EQ(readCheck->GetImageIndex(), 4);
    EXPECT_FALSE(readCheck->GetVisible());
    EXPECT_EQ(readCheck->GetDisplayMode(), TTBItemDisplayMode::nbdmImageAndText);
    auto* readSep = dynamic_cast<TTBSeparatorItem*>(readMenu->GetItem(1));
    ASSERT_NE(readSep, nullptr);
    EXPECT_TRUE(readSep->GetBlank());
    EXPECT_TRUE(readSep->HasTrait(isSeparator));
}

TEST(ItemStreaming, PropertiesTheActionOwnsAreNotWritten)
{
    std::unique_ptr<TAction, TObjectFree> action(New<TAction>(nullptr));
    action->SetCaption("Action caption");
    action->SetHint("Action hint");
    action->SetShortCut(scCtrl | 'A');
    TItemPtr item = MakeItem();
    item->SetName("Item");
    item->SetAction(action.get());
    std::string linked = WriteTree(item.get());
    EXPECT_EQ(linked.find("Caption"), std::string::npos);
    EXPECT_EQ(linked.find("Hint"), std::string::npos);
    EXPECT_EQ(linked.find("ShortCut"), std::string::npos);
    item->SetCaption(L"Own caption");
    std::string own = WriteTree(item.get());
    EXPECT_NE(own.find("Caption"), std::string::npos);
    EXPECT_EQ(own.find("Hint"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Control items and the post queue

TEST(ControlItem, FreesItsControlUnlessKeptAndSurvivesItsControlGoingFirst)
{
    bool freed = false;
    struct TWatched : TControl {
        bool* Freed = nullptr;
        using TControl::TControl;
        void BeforeDestruction() override
        {
            *Freed = true;
            TControl::BeforeDestruction();
        }
    };
    auto* control = New<TWatched>(nullptr);
    control->Freed = &freed;
    auto* item = New<TTBControlItem>(nullptr, control);
    EXPECT_EQ(item->GetControl(), control);
    EXPECT_FALSE(item->HasTrait(isSelectable));
    EXPECT_TRUE(item->HasTrait(isPassClicks));
    item->Free();
    EXPECT_TRUE(freed);

    freed = false;
    control = New<TWatched>(nullptr);
    control->Freed = &freed;
    item = New<TTBControlItem>(nullptr, control);
    item->SetKeepControl(true);
    item->Free();
    EXPECT_FALSE(freed);

    item = New<TTBControlItem>(nullptr);
    item->SetControl(control);
    control->Free();
    EXPECT_TRUE(freed);
    EXPECT_EQ(item->GetControl(), nullptr);
    item->Free();
}

TEST(PostQueue, ClicksRunLaterAndNeverForAFreedItem)
{
    TItemPtr keeper = MakeItem();  // keeps the thread's queue alive between the steps
    int clicksA = 0, clicksB = 0;
    TTBCustomItem* a = New<TTBCustomItem>(nullptr);
    a->OnClick = TNotifyEvent([&](TObject*) { ++clicksA; });
    TItemPtr b = MakeItem();
    b->OnClick = TNotifyEvent([&](TObject*) { ++clicksB; });

    QueueClick(a);
    EXPECT_EQ(clicksA, 0) << "the click waits for the message";
    EXPECT_EQ(PostQueuePending(), 1);
    a->Free();
    EXPECT_EQ(PostQueuePending(), 0);
    // The freed item's slot is not handed out again while its message is pending.
    QueueClick(b.get());
    PumpMessages();
    EXPECT_EQ(clicksA, 0);
    EXPECT_EQ(clicksB, 1) << "run once, not twice";

    QueueClick(b.get());
    QueueClick(b.get());
    PumpMessages();
    EXPECT_EQ(clicksB, 3);

    // An item whose click frees it and its fellow items (the last of the thread) ends the queue
    // without touching it afterwards.
    b->OnClick = TNotifyEvent([&](TObject*) {
        keeper.reset();
        b.reset();
    });
    QueueClick(b.get());
    int before = TBLiveObjectCount();
    PumpMessages();
    EXPECT_EQ(TBLiveObjectCount(), before - 2);
}

} // namespace
