// Shortcut text, actions with their links and lists, and the idle-time update.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/ActnList.h"
#include "platform/Forms.h"
#include "platform/StdActns.h"

namespace {

TEST(ShortCutText, NamesModifiersAndKeys)
{
    EXPECT_EQ(ShortCutToText(scCtrl | 'S'), "Ctrl+S");
    EXPECT_EQ(ShortCutToText(scShift | scCtrl | scAlt | VK_F5), "Shift+Ctrl+Alt+F5");
    EXPECT_EQ(ShortCutToText(VK_DELETE), "Del");
    EXPECT_EQ(ShortCutToText(scShift | VK_INSERT), "Shift+Ins");
    EXPECT_EQ(ShortCutToText(VK_NUMPAD3), "Num 3");
    EXPECT_EQ(ShortCutToText(VK_F12), "F12");
    EXPECT_EQ(ShortCutToText('7'), "7");
    EXPECT_EQ(ShortCutToText(0), "");
    EXPECT_EQ(ShortCutToText(scCtrl), "");
}

TEST(ShortCutText, ParsesWhatItWritesWithoutRegardToCase)
{
    const uint8_t keys[] = {VK_BACK, VK_TAB, VK_RETURN, VK_ESCAPE, VK_SPACE, VK_PRIOR, VK_NEXT, VK_END, VK_HOME,
                            VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_INSERT, VK_DELETE, 'A', 'Z', '0', '9',
                            VK_F1, VK_F24, VK_NUMPAD0, VK_NUMPAD9};
    const TShortCut mods[] = {0, scShift, scCtrl, scAlt, scShift | scCtrl, scCtrl | scAlt, scShift | scCtrl | scAlt};
    for (uint8_t key : keys)
        for (TShortCut mod : mods) {
            TShortCut sc = static_cast<TShortCut>(mod | key);
            EXPECT_EQ(TextToShortCut(ShortCutToText(sc)), sc) << ShortCutToText(sc);
        }
    EXPECT_EQ(TextToShortCut("ctrl+s"), scCtrl | 'S');
    EXPECT_EQ(TextToShortCut("ALT+SHIFT+pgdn"), scAlt | scShift | VK_NEXT);
    EXPECT_EQ(TextToShortCut("Ctrl+"), 0);
    EXPECT_EQ(TextToShortCut(""), 0);
    EXPECT_EQ(TextToShortCut("Ctrl+Bogus"), 0);
}

// A client that follows the action's caption and enabled state only while it still shows the
// action's value, and records what the action held when it was told.
struct TFakeClient {
    std::string Caption;
    bool Enabled = true;
    std::vector<std::string> ActionCaptionsSeen;
};

class TFakeLink : public TActionLink {
public:
    explicit TFakeLink(TObject* client) : TActionLink(client) {}
    TFakeClient* Client = nullptr;

    bool IsCaptionLinked() override { return TActionLink::IsCaptionLinked() && Client->Caption == CustomAction()->GetCaption(); }
    void SetCaption(const std::string& value) override
    {
        Client->ActionCaptionsSeen.push_back(CustomAction()->GetCaption());
        if (IsCaptionLinked())
            Client->Caption = value;
    }
    void SetEnabled(bool value) override
    {
        if (IsEnabledLinked())
            Client->Enabled = value;
    }
};

struct ActionsFixture : testing::Test {
    // Declared before the owner: freeing the actions at the end still changes the list, and a
    // handler counting into the test's own frame would then write into a dead stack.
    int ListChanges = 0;
    std::unique_ptr<TComponent, TObjectFree> Owner{New<TComponent>(nullptr)};
    TActionList* List = New<TActionList>(Owner.get());

    TAction* MakeAction(const std::string& caption)
    {
        TAction* a = New<TAction>(Owner.get());
        a->SetActionList(List);
        a->SetCaption(caption);
        return a;
    }
};

TEST_F(ActionsFixture, SettersTellClientsBeforeStoring)
{
    TAction* action = MakeAction("Open");
    TFakeClient client;
    client.Caption = "Open";
    std::unique_ptr<TFakeLink, TObjectFree> link(New<TFakeLink>(nullptr));
    link->Client = &client;
    link->SetAction(action);

    action->SetCaption("Open file");
    ASSERT_EQ(client.ActionCaptionsSeen.size(), 1u);
    EXPECT_EQ(client.ActionCaptionsSeen[0], "Open");
    EXPECT_EQ(client.Caption, "Open file");

    // A caption changed by hand is no longer the action's: the client keeps it.
    client.Caption = "Mine";
    action->SetCaption("Load");
    EXPECT_EQ(client.Caption, "Mine");

    action->SetEnabled(false);
    EXPECT_FALSE(client.Enabled);
    // Setting the same value tells nobody.
    action->SetCaption("Load");
    EXPECT_EQ(client.ActionCaptionsSeen.size(), 2u);
}

TEST_F(ActionsFixture, ChangesTellTheActionNotTheWholeClientAndFreeingDetachesLinks)
{
    TAction* action = MakeAction("Save");
    std::unique_ptr<TFakeLink, TObjectFree> link(New<TFakeLink>(nullptr));
    TFakeClient client;
    link->Client = &client;
    int actionChanges = 0, linkChanges = 0;
    action->OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, action);
        ++actionChanges;
    };
    link->OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, action);
        ++linkChanges;
    };
    link->SetAction(action);
    action->SetHint("Saves");
    action->SetImageIndex(3);
    EXPECT_EQ(actionChanges, 2);
    EXPECT_EQ(linkChanges, 0);
    link->Change();
    EXPECT_EQ(linkChanges, 1);
    EXPECT_EQ(action->GetClientCount(), 1);

    action->Free();
    EXPECT_EQ(link->GetAction(), nullptr);
    EXPECT_EQ(List->GetActionCount(), 0);
    EXPECT_FALSE(link->Execute());
}

TEST_F(ActionsFixture, GroupCheckingUnchecksOnlyTheSameGroup)
{
    TAction* a = MakeAction("A");
    TAction* b = MakeAction("B");
    TAction* c = MakeAction("C");
    TAction* lone = MakeAction("D");
    for (TAction* x : {a, b, c})
        x->SetGroupIndex(5);
    lone->SetChecked(true);
    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->GetChecked());
    EXPECT_TRUE(b->GetChecked());
    EXPECT_FALSE(c->GetChecked());
    EXPECT_TRUE(lone->GetChecked());

    // A checked action joining the group makes the others give way.
    lone->SetGroupIndex(5);
    EXPECT_TRUE(lone->GetChecked());
    EXPECT_FALSE(b->GetChecked());
}

TEST_F(ActionsFixture, ExecuteRespectsEnabledAutoCheckAndListHandler)
{
    TAction* action = MakeAction("Run");
    int runs = 0;
    TComponent* seenComponent = nullptr;
    action->SetOnExecute([&](TObject* sender) {
        ++runs;
        seenComponent = static_cast<TBasicAction*>(sender)->GetActionComponent();
    });
    action->SetAutoCheck(true);

    std::unique_ptr<TFakeLink, TObjectFree> link(New<TFakeLink>(nullptr));
    TFakeClient client;
    link->Client = &client;
    link->SetAction(action);
    TComponent* clicked = New<TComponent>(Owner.get());
    EXPECT_TRUE(link->Execute(clicked));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(seenComponent, clicked);
    EXPECT_EQ(action->GetActionComponent(), nullptr);
    EXPECT_TRUE(action->GetChecked());

    action->SetEnabled(false);
    EXPECT_FALSE(action->Execute());
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(action->GetChecked());

    action->SetEnabled(true);
    List->OnExecute = [](TBasicAction*, bool& handled) { handled = true; };
    EXPECT_TRUE(action->Execute());
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(action->GetChecked());
}

TEST_F(ActionsFixture, IdleUpdateVisitsLiveListsOnly)
{
    TAction* action = MakeAction("Paste");
    int updates = 0;
    action->OnUpdate = [&](TObject* sender) {
        ++updates;
        static_cast<TAction*>(sender)->SetEnabled(updates % 2 == 0);
    };
    UpdateActionsOnIdle();
    EXPECT_EQ(updates, 1);
    EXPECT_FALSE(action->GetEnabled());

    // The list handler can take over the update.
    List->OnUpdate = [](TBasicAction*, bool& handled) { handled = true; };
    UpdateActionsOnIdle();
    EXPECT_EQ(updates, 1);
    List->OnUpdate = nullptr;

    // Freeing the list frees its actions and takes it out of the idle update.
    List->Free();
    List = nullptr;
    EXPECT_EQ(Owner->GetComponentCount(), 0);
    UpdateActionsOnIdle();
    EXPECT_EQ(updates, 1);
}

TEST_F(ActionsFixture, ImagesComeFromTheListAndVanishWithTheImageList)
{
    TAction* action = MakeAction("Img");
    TImageList* images = New<TImageList>(Owner.get());
    List->OnChange = [this](TObject*) { ++ListChanges; };
    List->SetImages(images);
    EXPECT_EQ(action->GetImages(), images);
    images->SetSize(24, 24);
    EXPECT_EQ(ListChanges, 2);
    images->Free();
    EXPECT_EQ(List->GetImages(), nullptr);
    EXPECT_EQ(action->GetImages(), nullptr);
}

TEST_F(ActionsFixture, DoHintLetsHandlerChangeOrSuppress)
{
    TAction* action = MakeAction("H");
    std::string hint = "Plain";
    EXPECT_TRUE(action->DoHint(hint));
    action->OnHint = [](std::string& text, bool& canShow) {
        text += " more";
        canShow = text.size() < 8;
    };
    EXPECT_FALSE(action->DoHint(hint));
    EXPECT_EQ(hint, "Plain more");
}

TEST_F(ActionsFixture, UnhandledActionsReachTheApplicationWindowHooks)
{
    TAction* action = MakeAction("Idle");
    int executes = 0, updates = 0;
    TWindowHook hook = [&](TMessage& m, bool& handled) {
        if (reinterpret_cast<TBasicAction*>(m.LParam) != action)
            return;
        if (m.Msg == CM_ACTIONEXECUTE)
            ++executes;
        else if (m.Msg == CM_ACTIONUPDATE)
            ++updates;
        else
            return;
        m.Result = 1;
        handled = true;
    };
    Application->HookMainWindow(hook);
    EXPECT_TRUE(action->Execute());
    EXPECT_TRUE(action->Update());
    Application->UnhookMainWindow(hook);
    EXPECT_EQ(executes, 1);
    EXPECT_GE(updates, 1);
    EXPECT_FALSE(action->Execute());
}

TEST(HintAction, ApplicationHintGoesOutAsAHintAction)
{
    std::string heard;
    TWindowHook hook = [&](TMessage& m, bool& handled) {
        if (m.Msg != CM_ACTIONEXECUTE || !Is<THintAction>(reinterpret_cast<TBasicAction*>(m.LParam)))
            return;
        heard = reinterpret_cast<THintAction*>(m.LParam)->GetHint();
        m.Result = 1;
        handled = true;
    };
    Application->HookMainWindow(hook);
    Application->SetHint("Opens a project");
    Application->SetHint("Opens a project");
    EXPECT_EQ(heard, "Opens a project");
    int hints = 0;
    Application->OnHint = [&](TObject*) { ++hints; };
    Application->SetHint("Saves");
    Application->OnHint = nullptr;
    Application->UnhookMainWindow(hook);
    EXPECT_EQ(hints, 1);
    EXPECT_EQ(heard, "Opens a project");
    Application->SetHint("");
}

}
