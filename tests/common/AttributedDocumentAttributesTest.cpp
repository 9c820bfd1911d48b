#include "common/AttributedDocument.h"

#include <gtest/gtest.h>

namespace {

// A document read from lines, so each attribute comes from the factory as in the program.
TAttributedDocument documentOf(const std::string& aText) {
  TAttributedDocument document;
  document.setContent(aText);
  return document;
}

std::string failureOf(const std::function<void()>& aRead) {
  try {
    aRead();
  } catch (const EAttributedDocument& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(AttributedDocumentAttributesTest, ReadsAnsweredForEachType) {
  const TAttributedDocument d = documentOf("s;string;;NDI=;\r\n"     // "42"
                                           "c;char;;Nw==;\r\n"       // "7"
                                           "i;int;;-5;\r\n"          // -5
                                           "l;long;;4294967301;\r\n" // 2^32 + 5
                                           "d;double;;3;\r\n"
                                           "f;bool;;true;\r\n"
                                           "t;datetime;;05.03.2011 12:00:00;\r\n"
                                           "y;byte;;FF;\r\n"
                                           "b;bytes;;0a0b;\r\n"
                                           "r;struct;;;\r\n");
  const auto& at = [&](const char* id) -> const TAbstractAttribute& {
    return *d.getAttributesByID(id);
  };
  EXPECT_EQ(at("s").getValueAsString(), "42");
  EXPECT_EQ(at("s").getValueAsInteger(), 42);
  EXPECT_EQ(at("s").getValueAsInt64(), 42);
  EXPECT_EQ(at("s").getValueAsDouble(), 42.0);
  EXPECT_EQ(at("c").getValueAsInteger(), 7);
  EXPECT_EQ(at("i").getValueAsString(), "-5");
  EXPECT_EQ(at("i").getValueAsInt64(), -5);
  EXPECT_EQ(at("i").getValueAsDouble(), -5.0);
  EXPECT_EQ(at("l").getValueAsInteger(), 5);
  EXPECT_EQ(at("l").getValueAsInt64(), 4294967301LL);
  EXPECT_EQ(at("d").getValueAsInteger(), 3);
  EXPECT_EQ(at("d").getValueAsString(), "3");
  EXPECT_EQ(at("f").getValueAsString(), "True");
  EXPECT_EQ(at("f").getValueAsInteger(), 1);
  EXPECT_TRUE(at("f").getValueAsBoolean());
  EXPECT_EQ(at("t").getValueAsDouble(), TDateTime::encode(2011, 3, 5, 12, 0, 0).value());
  EXPECT_EQ(at("t").getValueAsString(), "05.03.2011 12:00:00");
  EXPECT_EQ(at("y").getValueAsString(), "255");
  EXPECT_EQ(at("y").getValueAsByte(), 255);
  EXPECT_EQ(at("y").getValueAsDouble(), 255.0);
  EXPECT_EQ(at("b").getValueAsString(), "0A0B");
  EXPECT_EQ(at("b").getValueAsBytes(), (TAttributesByteArray{0x0A, 0x0B}));
  EXPECT_EQ(at("r").getValueAsRecord().getAttributeCount(), 0);
  EXPECT_EQ(at("r").getValueAsString(), "");
}

TEST(AttributedDocumentAttributesTest, ReadsNotAnsweredFailWithTheDocumentedMessage) {
  const TAttributedDocument d = documentOf("x;bool;;-1;\r\n"
                                           "s;string;;NHg=;\r\n" // "4x"
                                           "d;double;;3.5;\r\n"
                                           "n;double;;nan;\r\n"
                                           "g;double;;1E20;\r\n"
                                           "r;struct;;;\r\n");
  const auto& at = [&](const char* id) -> const TAbstractAttribute& {
    return *d.getAttributesByID(id);
  };
  EXPECT_EQ(failureOf([&] { at("x").getValueAsDouble(); }),
            "Das Attribut \"x\" kann nich als \"double\" zurückgeliefert werden, es ist vom Typ "
            "\"bool\".");

  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { at("x").getValueAsDateTime(); }, "\"x\" kann nich als \"datetime\""},
      {[&] { at("x").getValueAsRecord(); }, "\"x\" kann nich als \"struct\""},
      {[&] { at("s").getValueAsInteger(); }, "\"s\" kann nich als \"int\""},
      {[&] { at("s").getValueAsDouble(); }, "\"s\" kann nich als \"double\""},
      {[&] { at("s").getValueAsBoolean(); }, "\"s\" kann nich als \"bool\""},
      {[&] { at("d").getValueAsInteger(); }, "\"d\" kann nich als \"int\""},
      {[&] { at("d").getValueAsInt64(); }, "\"d\" kann nich als \"long\""},
      {[&] { at("n").getValueAsInt64(); }, "\"n\" kann nich als \"long\""},
      {[&] { at("g").getValueAsInteger(); }, "\"g\" kann nich als \"int\""},
      {[&] { at("g").getValueAsInt64(); }, "\"g\" kann nich als \"long\""},
      {[&] { at("r").getValueAsBytes(); }, "\"r\" kann nich als \"bytes\""},
      {[&] { at("r").getValueAsByte(); }, "\"r\" kann nich als \"byte\""},
      {[&] { at("r").getValueAsInt64(); }, "\"r\" kann nich als \"long\""},
  };
  for (const auto& [read, part] : cases) {
    EXPECT_NE(failureOf(read).find(part), std::string::npos) << part;
  }
}

} // namespace
