// The component base: ownership, events, and layouts in both forms.
#include "framework/core/component.h"

#include <gtest/gtest.h>

#include "framework/core/exceptions.h"
#include "tests/support/expect_message.h"

namespace {

using TNotifyEvent = TEvent<TObject*>;

// A component with one property of each kind.
class TSample : public TComponent {
 public:
  enum TShape : uint8_t { shCircle, shSquare };
  explicit TSample(TComponent* owner) : TComponent(owner) {
    addProperty({"Caption",
                 PropertyKind::String,
                 {},
                 [this] { return PropertyValue(Caption); },
                 [this](const PropertyValue& v) { Caption = std::get<std::string>(v); }});
    addProperty({"Count",
                 PropertyKind::Integer,
                 {},
                 [this] { return PropertyValue(Count); },
                 [this](const PropertyValue& v) {
                   Count = std::get<int64_t>(v);
                   order.push_back("Count");
                 }});
    addProperty({"Shape",
                 PropertyKind::Enumeration,
                 {"shCircle", "shSquare"},
                 [this] { return PropertyValue(int64_t(Shape)); },
                 [this](const PropertyValue& v) {
                   Shape = TShape(std::get<int64_t>(v));
                   order.push_back("Shape");
                 }});
    addProperty({"Visible",
                 PropertyKind::Boolean,
                 {},
                 [this] { return PropertyValue(Visible); },
                 [this](const PropertyValue& v) { Visible = std::get<bool>(v); }});
    addEventProperty("OnClick", OnClick);
  }
  std::string Caption;
  int64_t Count = 0;
  TShape Shape = shCircle;
  bool Visible = false;
  TNotifyEvent OnClick;
  std::vector<std::string> order;
};

class TOwner : public TComponent {
 public:
  TOwner() : TComponent(nullptr) {
    registerMethod("Sample1Click", TNotifyEvent::Handler([this](TObject* sender) { clicks.push_back(sender); }));
  }
  std::vector<TObject*> clicks;
};

TEST(Component, OwnerKeepsItsComponentsCurrent) {
  TOwner owner;
  auto a = std::make_unique<TSample>(&owner);
  TSample b(&owner);
  a->setName("A");
  b.setName("B");
  EXPECT_EQ(owner.components().size(), 2u);
  EXPECT_EQ(owner.findComponent("B"), &b);
  EXPECT_EQ(owner.findComponent("C"), nullptr);
  a.reset();
  EXPECT_EQ(owner.components(), (std::vector<TComponent*>{&b}));
  EXPECT_EQ(b.owner(), &owner);
}

TEST(Component, AnUnassignedEventIsSkipped) {
  TEvent<TObject*, bool&> e;
  bool flag = true;
  e(nullptr, flag);
  EXPECT_FALSE(e);
  EXPECT_TRUE(flag);
  e = TEvent<TObject*, bool&>([](TObject*, bool& f) { f = false; }, "Handler");
  e(nullptr, flag);
  EXPECT_FALSE(flag);
  EXPECT_EQ(e.handlerName(), "Handler");
}

TEST(Component, WriteLayoutStoresNumbersAlwaysAndTextsWhenSet) {
  TOwner owner;
  TSample s(&owner);
  EXPECT_EQ(s.writeLayout(),
            (Layout{{"Tag", int64_t(0)}, {"Count", int64_t(0)}, {"Shape", int64_t(0)}, {"Visible", false}}));
  s.setName("Sample1");
  s.Caption = "Go";
  s.readLayout({{"OnClick", std::string("Sample1Click")}});
  s.designLeft = 3;  // a windowless component's position comes first
  EXPECT_EQ(s.writeLayout(), (Layout{{"Left", int64_t(3)},
                                     {"Top", int64_t(0)},
                                     {"Name", std::string("Sample1")},
                                     {"Tag", int64_t(0)},
                                     {"Caption", std::string("Go")},
                                     {"Count", int64_t(0)},
                                     {"Shape", int64_t(0)},
                                     {"Visible", false},
                                     {"OnClick", std::string("Sample1Click")}}));
  s.OnClick(&s);
  EXPECT_EQ(owner.clicks, (std::vector<TObject*>{&s}));
}

TEST(Component, ReadLayoutAssignsInStoredOrder) {
  TSample s(nullptr);
  s.readLayout({{"Shape", int64_t(1)}, {"Count", int64_t(7)}, {"Shape", int64_t(0)}});
  EXPECT_EQ(s.order, (std::vector<std::string>{"Shape", "Count", "Shape"}));
  EXPECT_EQ(s.Shape, TSample::shCircle);
  EXPECT_EQ(s.Count, 7);
}

struct TextRow {
  const char* name;
  std::string caption;
};

TEST(Component, TextsRoundTripThroughTheTextForm) {
  const TextRow rows[] = {
      {"plain", "Setup"},
      {"quotes", "It's 'quoted'"},
      {"only a quote", "'"},
      {"blanks at both ends", "  padded  "},
      {"equals sign and hash", "a = b # c"},
      {"line breaks", "first line\r\nsecond line\n"},
      {"tab and control characters", std::string("a\tb\x01"
                                                 "c\x1f",
                                                 6)},
      {"zero byte", std::string("a\0b", 3)},
      {"eight-bit text",
       "Gr\xFC\xDF"
       "e"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TSample s(nullptr);
    s.Caption = row.caption;
    s.Count = -42;
    s.Shape = TSample::shSquare;
    s.Visible = true;
    const std::string text = layoutToText(s, s.writeLayout());
    TSample copy(nullptr);
    copy.readLayout(layoutFromText(copy, text));
    EXPECT_EQ(copy.Caption, row.caption);
    EXPECT_EQ(copy.Count, -42);
    EXPECT_EQ(copy.Shape, TSample::shSquare);
    EXPECT_TRUE(copy.Visible);
  }
}

TEST(Component, TheTextForm) {
  TSample s(nullptr);
  s.Caption = "It's";
  s.Shape = TSample::shSquare;
  EXPECT_EQ(layoutToText(s, s.writeLayout()),
            "Tag = 0\n"
            "Caption = 'It''s'\n"
            "Count = 0\n"
            "Shape = shSquare\n"
            "Visible = False\n");
  // Blank lines, comments and blanks around names and values are ignored.
  Layout read = layoutFromText(s, "\n# comment\n  Count   =   12  \nShape=shCircle\nVisible = True\n");
  EXPECT_EQ(read, (Layout{{"Count", int64_t(12)}, {"Shape", int64_t(0)}, {"Visible", true}}));
}

TEST(Component, BadLayouts) {
  TSample s(nullptr);
  const std::pair<const char*, const char*> rows[] = {
      {"Count = 99999999999999999999\n", "Layout line 1: invalid number"},
      {"\nCaption 'x'\n", "Layout line 2: missing \"=\""},
      {"Caption = 'open\n", "Layout line 1: unterminated string"},
      {"Shape = shTriangle\n", "Invalid property value for Shape"},
      {"Shape = 2\n", "Invalid property value for Shape"},
      {"Visible = 1\n", "Invalid property value for Visible"},
      {"Caption = True\n", "Invalid property value for Caption"},
      {"OnClick = Sample1Click\n", "Invalid handler \"Sample1Click\" for property OnClick"},
      {"Width = 5\n", "Property Width does not exist"},
  };
  for (const auto& [text, message] : rows) {
    SCOPED_TRACE(text);
    EXPECT_THROW_MESSAGE(s.readLayout(layoutFromText(s, text)), Exception, message);
  }
}

}  // namespace
