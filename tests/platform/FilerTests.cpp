#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "TestSupport.h"
#include "platform/Filer.h"

namespace {

int gLiveItems = 0;
bool gWriteExtras = false;

// A streamed component with one property of each kind, arranged in a parent/child tree.
class TTestItem : public TComponent {
    SF_CLASS(TTestItem)
public:
    explicit TTestItem(TComponent* owner = nullptr) : TComponent(owner) { ++gLiveItems; }
    ~TTestItem() override
    {
        --gLiveItems;
        Detach();
        for (TTestItem* item : Items)
            item->ParentItem = nullptr;
    }

    std::string Caption;
    std::wstring Text;
    int32_t Count = 0;
    int64_t Big = 0;
    bool Enabled = true;
    long double Ratio = 0;
    std::string Kind;
    std::vector<std::string> Styles;
    std::string Blob;

    TTestItem* ParentItem = nullptr;
    std::vector<TTestItem*> Items;
    int LoadedCount = 0;
    TComponentState StateWhileReading = 0;

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override { return ParentItem; }
    void SetParentComponent(TComponent* parent) override
    {
        Detach();
        ParentItem = Is<TTestItem>(parent) ? static_cast<TTestItem*>(parent) : nullptr;
        if (ParentItem)
            ParentItem->Items.push_back(this);
    }
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) override
    {
        for (TTestItem* item : Items)
            proc(item);
    }

protected:
    void DefineProperties(TFiler* filer) override
    {
        TComponent::DefineProperties(filer);
        filer->DefineProperty(
            "Caption",
            [this](TReader* r) {
                StateWhileReading = GetComponentState();
                Caption = r->ReadString();
            },
            [this](TWriter* w) { w->WriteString(Caption); }, !Caption.empty());
        if (gWriteExtras)
            DefineExtras(filer);
        filer->DefineProperty(
            "Text", [this](TReader* r) { Text = r->ReadWideString(); }, [this](TWriter* w) { w->WriteWideString(Text); },
            !Text.empty());
        filer->DefineProperty(
            "Count", [this](TReader* r) { Count = r->ReadInteger(); }, [this](TWriter* w) { w->WriteInteger(Count); },
            Count != 0);
        filer->DefineProperty(
            "Big", [this](TReader* r) { Big = r->ReadInt64(); }, [this](TWriter* w) { w->WriteInt64(Big); }, Big != 0);
        filer->DefineProperty(
            "Enabled", [this](TReader* r) { Enabled = r->ReadBoolean(); },
            [this](TWriter* w) { w->WriteBoolean(Enabled); }, !Enabled);
        filer->DefineProperty(
            "Ratio", [this](TReader* r) { Ratio = r->ReadFloat(); }, [this](TWriter* w) { w->WriteFloat(Ratio); },
            Ratio != 0);
        filer->DefineProperty(
            "Kind", [this](TReader* r) { Kind = r->ReadIdent(); }, [this](TWriter* w) { w->WriteIdent(Kind); },
            !Kind.empty());
        filer->DefineProperty(
            "Styles", [this](TReader* r) { Styles = r->ReadSet(); }, [this](TWriter* w) { w->WriteSet(Styles); },
            !Styles.empty());
        filer->DefineBinaryProperty(
            "Blob",
            [this](TStream* s) {
                Blob.resize(static_cast<size_t>(s->GetSize()));
                s->ReadBuffer(Blob.data(), static_cast<int32_t>(Blob.size()));
            },
            [this](TStream* s) { s->WriteBuffer(Blob.data(), static_cast<int32_t>(Blob.size())); }, !Blob.empty());
        if (gWriteExtras)
            DefineExtras(filer);
    }

    void Loaded() override
    {
        TComponent::Loaded();
        ++LoadedCount;
    }

private:
    // Properties a later version would write: a reader that does not know them skips them.
    void DefineExtras(TFiler* filer)
    {
        filer->DefineProperty("FutureList", nullptr, [](TWriter* w) {
            w->WriteListBegin();
            w->WriteInteger(1);
            w->WriteListBegin();
            w->WriteString(std::string(300, 'x'));
            w->WriteWideString(L"\u4e16\u754c");
            w->WriteListEnd();
            w->WriteSet({"a", "b"});
            w->WriteListEnd();
        }, true);
        filer->DefineBinaryProperty("FutureBlob", nullptr, [](TStream* s) { s->WriteBuffer("\0\1\2\3", 4); }, true);
        filer->DefineProperty("FutureCollection", nullptr, [](TWriter* w) {
            w->WriteValue(vaCollection);
            w->WriteInteger(3);
            w->WriteListBegin();
            w->WriteStr("Width");
            w->WriteFloat(1.5L);
            w->WriteListEnd();
            w->WriteListBegin();
            w->WriteListEnd();
            w->WriteListEnd();
        }, true);
        filer->DefineProperty("FutureNumbers", nullptr, [](TWriter* w) {
            w->WriteListBegin();
            w->WriteInt64(1LL << 40);
            w->WriteSingle(2.5f);
            w->WriteCurrency(3.25);
            w->WriteDate(45000.5);
            w->WriteUTF8String("\xc3\xa9");
            w->WriteIdent("nil");
            w->WriteListEnd();
        }, true);
    }

    void Detach()
    {
        if (!ParentItem)
            return;
        auto& list = ParentItem->Items;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        ParentItem = nullptr;
    }
};
SF_IMPLEMENT_COMPONENT(TTestItem, TComponent)

void RegisterTestClasses()
{
    RegisterClass(TTestItem::StaticClass());
    RegisterClass(TMemoryStream::StaticClass());
}

// Root, Child1 (with Grand1 and Grand2), Child2: all owned by the root.
TTestItem* MakeTree()
{
    TTestItem* root = New<TTestItem>(nullptr);
    root->SetName("Root");
    root->Caption = "Root caption";
    root->Text = L"\u041f\u0440\u0438\u0432\u0435\u0442, \u4e16\u754c";
    root->Count = -200000;
    root->Big = -(1LL << 50);
    root->Enabled = false;
    root->Ratio = 3.14159265358979323846L;
    root->Kind = "alClient";
    root->Styles = {"fsBold", "fsItalic"};
    root->Blob = std::string("\0\xff\x01 binary", 10);
    const char* names[] = {"Child1", "Grand1", "Grand2", "Child2"};
    TTestItem* parents[] = {root, nullptr, nullptr, root};
    TTestItem* made[4] = {};
    for (int i = 0; i < 4; ++i) {
        made[i] = New<TTestItem>(root);
        made[i]->SetName(names[i]);
        made[i]->Count = i + 1;
        made[i]->SetParentComponent(parents[i] ? parents[i] : made[0]);
    }
    made[1]->Caption = std::string(1000, 'L');
    return root;
}

std::string StreamOf(TTestItem* root)
{
    TMemoryStream stream;
    stream.WriteComponent(root);
    return TextOf(stream);
}

TComponent* ReadBytes(const std::string& bytes, TComponent* instance = nullptr)
{
    TStringStream stream(bytes);
    return stream.ReadComponent(instance);
}

using TItemPtr = std::unique_ptr<TTestItem, TObjectFree>;

TEST(Filer, EveryValueTypeRoundTrips)
{
    TMemoryStream stream;
    const std::wstring wide = L"\u041f\u0440\u0438\u0432\u0435\u0442 \u4e16\u754c \U0001F600";
    {
        TWriter w(&stream);
        for (int32_t v : {0, -128, 127, -129, 128, -32768, 32767, -32769, 32768, INT32_MIN, INT32_MAX})
            w.WriteInteger(v);
        w.WriteInt64(INT64_MIN);
        w.WriteInt64(5);
        w.WriteBoolean(true);
        w.WriteBoolean(false);
        w.WriteFloat(-1.0L / 3.0L);
        w.WriteSingle(0.1f);
        w.WriteCurrency(-12345.6789);
        w.WriteDate(45291.75);
        w.WriteIdent("clWindow");
        w.WriteIdent("TRUE");
        w.WriteIdent("nil");
        w.WriteString(std::string(255, 's'));
        w.WriteString(std::string(256, 'l'));
        w.WriteString("");
        w.WriteWideString(wide);
        w.WriteUTF8String("caf\xc3\xa9 \xe4\xb8\x96");
        w.WriteSet({"akLeft", "akTop"});
        w.WriteSet({});
        w.WriteListBegin();
        w.WriteString("in a list");
        w.WriteListEnd();
    }
    std::string bytes = TextOf(stream);
    stream.SetPosition(0);
    TReader r(&stream);
    for (auto [v, type] : std::initializer_list<std::pair<int32_t, TValueType>>{
             {0, vaInt8}, {-128, vaInt8}, {127, vaInt8}, {-129, vaInt16}, {128, vaInt16}, {-32768, vaInt16},
             {32767, vaInt16}, {-32769, vaInt32}, {32768, vaInt32}, {INT32_MIN, vaInt32}, {INT32_MAX, vaInt32}}) {
        EXPECT_EQ(r.NextValue(), type) << v;
        EXPECT_EQ(r.ReadInteger(), v);
    }
    EXPECT_EQ(r.NextValue(), vaInt64);
    EXPECT_EQ(r.ReadInt64(), INT64_MIN);
    EXPECT_EQ(r.NextValue(), vaInt8);
    EXPECT_EQ(r.ReadInt64(), 5);
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_FALSE(r.ReadBoolean());
    EXPECT_EQ(r.NextValue(), vaExtended);
    EXPECT_EQ(r.ReadFloat(), -1.0L / 3.0L);
    EXPECT_EQ(r.NextValue(), vaSingle);
    EXPECT_EQ(r.ReadSingle(), 0.1f);
    EXPECT_EQ(r.NextValue(), vaCurrency);
    EXPECT_DOUBLE_EQ(r.ReadCurrency(), -12345.6789);
    EXPECT_EQ(r.NextValue(), vaDate);
    EXPECT_EQ(r.ReadDate(), 45291.75);
    EXPECT_EQ(r.ReadIdent(), "clWindow");
    EXPECT_EQ(r.NextValue(), vaTrue);
    EXPECT_EQ(r.ReadIdent(), "True");
    EXPECT_EQ(r.NextValue(), vaNil);
    EXPECT_EQ(r.ReadIdent(), "nil");
    EXPECT_EQ(r.NextValue(), vaString);
    EXPECT_EQ(r.ReadString(), std::string(255, 's'));
    EXPECT_EQ(r.NextValue(), vaLString);
    EXPECT_EQ(r.ReadString(), std::string(256, 'l'));
    EXPECT_EQ(r.ReadString(), "");
    EXPECT_EQ(r.NextValue(), vaWString);
    EXPECT_EQ(r.ReadWideString(), wide);
    EXPECT_EQ(r.NextValue(), vaUTF8String);
    EXPECT_EQ(r.ReadWideString(), L"caf\u00e9 \u4e16");
    EXPECT_EQ(r.ReadSet(), (std::vector<std::string>{"akLeft", "akTop"}));
    EXPECT_TRUE(r.ReadSet().empty());
    r.ReadListBegin();
    EXPECT_FALSE(r.EndOfList());
    EXPECT_EQ(r.ReadString(), "in a list");
    EXPECT_TRUE(r.EndOfList());
    r.ReadListEnd();
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());

    // Skipping walks the same values to the same end.
    stream.SetPosition(0);
    TReader skipper(&stream);
    while (stream.GetPosition() < stream.GetSize())
        skipper.SkipValue();
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());
}

TEST(Filer, StringConversionsAndWideLayout)
{
    TMemoryStream stream;
    TWriter w(&stream);
    w.WriteWideString(L"abc");
    EXPECT_EQ(TextOf(stream), std::string("\x12\x03\0\0\0a\0b\0c\0", 11));

    // Older 8-bit values read as wide text, and wide values read as 8-bit text.
    stream.Clear();
    w.WriteString("Plain");
    w.WriteString(std::string(300, 'q'));
    w.WriteWideString(L"Wide");
    w.WriteUTF8String("Utf8");
    stream.SetPosition(0);
    TReader r(&stream);
    EXPECT_EQ(r.ReadWideString(), L"Plain");
    EXPECT_EQ(r.ReadWideString(), std::wstring(300, L'q'));
    EXPECT_EQ(r.ReadString(), "Wide");
    EXPECT_EQ(r.ReadString(), "Utf8");

    stream.Clear();
    w.WriteInteger(5);
    w.WriteString("5");
    stream.SetPosition(0);
    TReader mismatched(&stream);
    EXPECT_THROW(mismatched.ReadString(), EReadError);
    EXPECT_THROW(mismatched.ReadInteger(), EReadError);

    EXPECT_THROW(w.WriteStr(std::string(256, 'n')), EWriteError);
    EXPECT_THROW(w.WriteSet({"a", ""}), EWriteError);
    EXPECT_THROW(w.WriteCurrency(1e300), EWriteError);
}

TEST(Filer, ComponentTreeRoundTripsByClassName)
{
    RegisterTestClasses();
    TItemPtr original(MakeTree());
    std::string bytes = StreamOf(original.get());
    EXPECT_EQ(bytes.substr(0, 4), "SFP0");
    EXPECT_FALSE(original->HasState(csWriting));

    TItemPtr owner(New<TTestItem>(nullptr));
    TStringStream stream(bytes);
    TReader reader(&stream);
    reader.SetOwner(owner.get());
    TComponent* read = reader.ReadRootComponent(nullptr);
    ASSERT_TRUE(Is<TTestItem>(read));
    auto* root = static_cast<TTestItem*>(read);
    EXPECT_EQ(root->GetOwner(), owner.get());
    EXPECT_EQ(root->GetName(), "Root");
    EXPECT_EQ(root->Caption, original->Caption);
    EXPECT_EQ(root->Text, original->Text);
    EXPECT_EQ(root->Count, -200000);
    EXPECT_EQ(root->Big, -(1LL << 50));
    EXPECT_FALSE(root->Enabled);
    EXPECT_EQ(root->Ratio, original->Ratio);
    EXPECT_EQ(root->Kind, "alClient");
    EXPECT_EQ(root->Styles, original->Styles);
    EXPECT_EQ(root->Blob, original->Blob);

    ASSERT_EQ(root->GetComponentCount(), 4);
    ASSERT_EQ(root->Items.size(), 2u);
    TTestItem* child1 = root->Items[0];
    EXPECT_EQ(child1->GetName(), "Child1");
    EXPECT_EQ(root->Items[1]->GetName(), "Child2");
    ASSERT_EQ(child1->Items.size(), 2u);
    EXPECT_EQ(child1->Items[0]->GetName(), "Grand1");
    EXPECT_EQ(child1->Items[0]->Caption, std::string(1000, 'L'));
    EXPECT_EQ(child1->Items[1]->Count, 3);
    for (int i = 0; i < root->GetComponentCount(); ++i)
        EXPECT_EQ(root->GetComponent(i)->GetOwner(), root);

    // Loading and reading were flagged during the read; Loaded ran once for each afterwards.
    EXPECT_EQ(root->StateWhileReading & (csLoading | csReading), csLoading | csReading);
    EXPECT_EQ(child1->Items[0]->StateWhileReading & (csLoading | csReading), csLoading | csReading);
    for (TTestItem* item : {root, child1, child1->Items[0], child1->Items[1], root->Items[1]}) {
        EXPECT_EQ(item->LoadedCount, 1) << item->GetName();
        EXPECT_FALSE(item->HasState(csLoading) || item->HasState(csReading)) << item->GetName();
    }

    // Written again, the copy gives the same bytes.
    EXPECT_EQ(StreamOf(root), bytes);
}

TEST(Filer, ReadsIntoAnExistingInstance)
{
    RegisterTestClasses();
    TItemPtr original(MakeTree());
    TItemPtr target(New<TTestItem>(nullptr));
    target->SetName("Kept");
    EXPECT_EQ(ReadBytes(StreamOf(original.get()), target.get()), target.get());
    EXPECT_EQ(target->GetName(), "Kept");
    EXPECT_EQ(target->Caption, "Root caption");
    EXPECT_EQ(target->GetComponentCount(), 4);
    EXPECT_EQ(target->LoadedCount, 1);
}

TEST(Filer, UnknownPropertiesAreSkipped)
{
    RegisterTestClasses();
    TItemPtr original(MakeTree());
    gWriteExtras = true;
    std::string bytes = StreamOf(original.get());
    gWriteExtras = false;
    EXPECT_NE(bytes.find("FutureCollection"), std::string::npos);

    TItemPtr root(As<TTestItem>(ReadBytes(bytes)));
    EXPECT_EQ(root->Caption, "Root caption");
    EXPECT_EQ(root->Blob, original->Blob);
    EXPECT_EQ(root->Styles, original->Styles);
    EXPECT_EQ(root->GetComponentCount(), 4);
    EXPECT_EQ(StreamOf(root.get()), StreamOf(original.get()));
}

TEST(Filer, TruncatedStreamsRaiseAndLeaveNothingBehind)
{
    RegisterTestClasses();
    TItemPtr original(MakeTree());
    gWriteExtras = true;
    std::string bytes = StreamOf(original.get());
    gWriteExtras = false;
    int live = gLiveItems;
    for (size_t len = 0; len < bytes.size(); ++len) {
        EXPECT_THROW(ReadBytes(bytes.substr(0, len)), EStreamError) << "truncated at " << len;
        ASSERT_EQ(gLiveItems, live) << "truncated at " << len;
    }

    // Read into an existing root, a failure frees what the read created and clears the flags.
    TItemPtr target(New<TTestItem>(nullptr));
    EXPECT_THROW(ReadBytes(bytes.substr(0, bytes.size() - 3), target.get()), EStreamError);
    EXPECT_EQ(target->GetComponentCount(), 0);
    EXPECT_FALSE(target->HasState(csLoading) || target->HasState(csReading));
}

TEST(Filer, CorruptedBytesRaiseOrReadCleanly)
{
    RegisterTestClasses();
    TItemPtr original(MakeTree());
    std::string bytes = StreamOf(original.get());
    int live = gLiveItems;
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (char value : {'\xEE', '\x00', '\x7F', '\x05'}) {
            std::string corrupt = bytes;
            corrupt[i] = value;
            // A corruption may still form a valid stream; anything else is a stream error.
            try {
                TItemPtr read(As<TTestItem>(ReadBytes(corrupt)));
            } catch (const EStreamError&) {
            }
            ASSERT_EQ(gLiveItems, live) << "byte " << i;
        }
    }
}

// Builds a stream holding one TTestItem whose property "P" has the bytes the writer puts there.
std::string OneProperty(const std::function<void(TWriter&, TMemoryStream&)>& value)
{
    TMemoryStream stream;
    TWriter w(&stream);
    w.WriteSignature();
    w.WriteStr("TTestItem");
    w.WriteStr("Item");
    w.WriteStr("Caption");
    value(w, stream);
    w.WriteListEnd();
    w.WriteListEnd();
    return TextOf(stream);
}

std::string ReadError(const std::string& bytes)
{
    try {
        TItemPtr read(As<TTestItem>(ReadBytes(bytes)));
    } catch (const EStreamError& e) {
        return e.what();
    }
    return "no error";
}

void WriteInt32(TMemoryStream& s, int32_t v)
{
    s.WriteBuffer(&v, 4);
}

TEST(Filer, MalformedValuesRaiseClearly)
{
    RegisterTestClasses();
    int live = gLiveItems;
    EXPECT_EQ(ReadError(OneProperty([](TWriter& w, TMemoryStream&) { w.WriteString("ok"); })), "no error");

    EXPECT_EQ(ReadError(OneProperty([](TWriter&, TMemoryStream& s) { s.WriteBuffer("\xEE", 1); })),
              "Error reading Item.Caption: Invalid value type 238 in stream");
    EXPECT_EQ(ReadError(OneProperty([](TWriter& w, TMemoryStream&) { w.WriteInteger(7); })),
              "Error reading Item.Caption: Invalid property value");

    // Lengths: negative, huge, or beyond the end of the stream, for every length-carrying type.
    for (TValueType type : {vaLString, vaUTF8String, vaWString}) {
        for (int32_t length : {-5, INT32_MIN, INT32_MAX, 0x40000000, 100}) {
            std::string message = ReadError(OneProperty([&](TWriter& w, TMemoryStream& s) {
                w.WriteValue(type);
                WriteInt32(s, length);
                s.WriteBuffer("abcd", 4);
            }));
            EXPECT_NE(message.find("Error reading Item.Caption: "), std::string::npos) << message;
            EXPECT_NE(message.find("ength " + std::to_string(length)), std::string::npos) << message;
        }
    }
    // The same inside an unknown property, which is skipped rather than read.
    std::string skipped = ReadError(OneProperty([](TWriter& w, TMemoryStream& s) {
        w.WriteString("x");
        w.WriteStr("Unknown");
        w.WriteValue(vaBinary);
        WriteInt32(s, 0x7FFFFFF0);
    }));
    EXPECT_NE(skipped.find("Error reading Item.Unknown: Length 2147483632 exceeds"), std::string::npos) << skipped;

    // Deep nesting in a skipped value and in components.
    std::string deepList = ReadError(OneProperty([](TWriter& w, TMemoryStream& s) {
        w.WriteString("x");
        w.WriteStr("Unknown");
        s.WriteBuffer(std::string(100000, '\x01').data(), 100000);
    }));
    EXPECT_NE(deepList.find("nested too deeply"), std::string::npos) << deepList;
    TMemoryStream deep;
    TWriter w(&deep);
    w.WriteSignature();
    for (int i = 0; i < 5000; ++i) {
        w.WriteStr("TTestItem");
        w.WriteStr("");
        w.WriteListEnd();
    }
    EXPECT_NE(ReadError(TextOf(deep)).find("nested too deeply"), std::string::npos);

    EXPECT_EQ(ReadError("SFP1"), "Invalid stream format");
    EXPECT_EQ(ReadError(""), "Invalid stream format");
    TMemoryStream unknown;
    TWriter uw(&unknown);
    uw.WriteSignature();
    uw.WriteStr("TNoSuchComponent");
    uw.WriteStr("");
    EXPECT_THROW(ReadBytes(TextOf(unknown)), EClassNotFound);
    unknown.Clear();
    uw.WriteSignature();
    uw.WriteStr("TMemoryStream");
    uw.WriteStr("");
    EXPECT_EQ(ReadError(TextOf(unknown)), "Class TMemoryStream in stream is not a component");

    // Names: invalid or duplicated within the owner.
    TMemoryStream names;
    TWriter nw(&names);
    nw.WriteSignature();
    nw.WriteStr("TTestItem");
    nw.WriteStr("Bad Name");
    nw.WriteListEnd();
    nw.WriteListEnd();
    EXPECT_NE(ReadError(TextOf(names)).find("Error reading component name: "), std::string::npos);
    names.Clear();
    nw.WriteSignature();
    nw.WriteStr("TTestItem");
    nw.WriteStr("Root");
    nw.WriteListEnd();
    for (int i = 0; i < 2; ++i) {
        nw.WriteStr("TTestItem");
        nw.WriteStr("Twin");
        nw.WriteListEnd();
        nw.WriteListEnd();
    }
    nw.WriteListEnd();
    EXPECT_NE(ReadError(TextOf(names)).find("Twin already exists"), std::string::npos) << ReadError(TextOf(names));
    EXPECT_EQ(gLiveItems, live);
}

}  // namespace
