#include "engine/handler_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "tests/support/signature_samples.h"

namespace {

using engine::HandlerList;
using scan::MalwareHandler;

// A handler that notes its destruction in a shared log.
class LoggingHandler final : public MalwareHandler {
 public:
  LoggingHandler(std::u16string base, std::u16string variant, std::vector<std::u16string>* log)
      : MalwareHandler({}), base_(std::move(base)), variant_(std::move(variant)), log_(log) {}
  ~LoggingHandler() override {
    if (log_ != nullptr) log_->push_back(base_ + u"." + variant_);
  }
  std::u16string_view BaseName() const override { return base_; }
  std::u16string_view VariantName() const override { return variant_; }
  void Remove(scan::ScanContext&, const scan::Finding&) override {}

 private:
  std::u16string base_, variant_;
  std::vector<std::u16string>* log_;
};

HandlerList ListOf(std::initializer_list<std::pair<const char16_t*, const char16_t*>> names,
                   std::vector<std::u16string>* log = nullptr) {
  HandlerList list(names.size());
  for (const auto& [base, variant] : names) {
    list.Add(std::make_unique<LoggingHandler>(base, variant, log));
  }
  return list;
}

TEST(MalwareListTextTest, GroupsByBaseNameAndSortsTheGroups) {
  const struct {
    const char* label;
    HandlerList list;
    std::u16string text;
  } cases[] = {
      {"no handlers", ListOf({}), u""},
      {"one handler", ListOf({{u"Worm/NetSky", u"P"}}), u"Worm/NetSky.P"},
      {"variants join in list order",
       ListOf({{u"TR/Spy", u"Banker.AATZ"},
               {u"TR/Spy", u"Banker.AATZ.1"},
               {u"Worm/NetSky", u"P"},
               {u"TR/Spy", u"Banker.AATZ.2"}}),
       u"TR/Spy.Banker.AATZ/Banker.AATZ.1/Banker.AATZ.2\r\nWorm/NetSky.P"},
      {"groups sorted by base name, not by arrival",
       ListOf({{u"Worm/Sober", u"J"}, {u"W32/Stanit", u""}, {u"Worm/NetSky", u"P"}}),
       u"W32/Stanit.\r\nWorm/NetSky.P\r\nWorm/Sober.J"},
      {"base names differing in case are separate groups, upper case first",
       ListOf({{u"worm/a", u"1"}, {u"Worm/A", u"2"}, {u"worm/a", u"3"}}),
       u"Worm/A.2\r\nworm/a.1/3"},
      {"empty variant names still get their slash",
       ListOf({{u"X", u""}, {u"X", u""}, {u"X", u"b"}}), u"X.//b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine::MalwareListText(c.list), c.text) << c.label;
  }
}

TEST(MalwareListTextTest, LongListsAreNotCut) {
  HandlerList list(600);
  for (int i = 0; i < 600; ++i) {
    list.Add(std::make_unique<qrt_test::FixedHandler>(u"Group" + text::FromAscii(std::to_string(i)),
                                                      u"Variant", signatures::SignaturePair{}));
  }
  const std::u16string text = engine::MalwareListText(list);
  EXPECT_GT(text.size(), 4096u);
  EXPECT_EQ(text.substr(text.size() - 16), u"\nGroup99.Variant");
}

TEST(HandlerListTest, DestroysHandlersInListOrder) {
  std::vector<std::u16string> log;
  {
    HandlerList list = ListOf({{u"A", u"1"}, {u"B", u"2"}, {u"C", u"3"}}, &log);
    EXPECT_EQ(list.count(), 3u);
    EXPECT_EQ(list.handlers()[1], &list[1]);
  }
  EXPECT_EQ(log, (std::vector<std::u16string>{u"A.1", u"B.2", u"C.3"}));
}

}  // namespace
