#include "common/AttributedDocument.h"

#include "common/AttributeFactory.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

std::string messageOf(const std::function<void()>& aAction) {
  try {
    aAction();
  } catch (const EAttributedDocument& e) {
    return e.what();
  }
  return "(no failure)";
}

// The one attribute that a single line reads into, written back as its line.
std::string rewritten(const std::string& aLine) {
  TAttributedDocument document;
  document.setContent(aLine);
  EXPECT_EQ(document.getAttributeCount(), 1) << aLine;
  return document.getAttributeCount() == 1 ? document.getAttributes(0).getContent() : "";
}

TEST(AttributedDocumentTest, WritesTheDocumentedLines) {
  TAttributedDocument document;
  EXPECT_EQ(document.getContent(), "");
  document.addIntegerAttribute("msgindex", "MsgIndex", 3);
  document.addStringAttribute("message", "Message", "Grüße");
  EXPECT_EQ(document.getContent(), "msgindex;int;TXNnSW5kZXg=;3;\r\n"
                                   "message;string;TWVzc2FnZQ==;R3LDvMOfZQ==;\r\n");

  TAttributedDocument single;
  single.addIntegerAttribute("msgindex", "MsgIndex", 3);
  TAttributedDocument outer;
  outer.addRecordAttribute("0", "0", single);
  EXPECT_EQ(outer.getContent(), "0;struct;MA==;bXNnaW5kZXg7aW50O1RYTm5TVzVrWlhnPTszOw0K;\r\n");
}

TEST(AttributedDocumentTest, ReadsEveryTypeAndWritesItBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"s;string;Q2FwdGlvbg==;R3LDvMOfZQ==;", "s;string;Q2FwdGlvbg==;R3LDvMOfZQ==;"},
      {"w;wstring;;4oKsIOS4rQ==;", "w;wstring;;4oKsIOS4rQ==;"}, // "€ 中" beyond Latin-1
      {"c;char;;w7w=;", "c;char;;w7w=;"},
      {"c;wchar;;4oKs;", "c;wchar;;4oKs;"},
      {"i;int;;-2147483648;", "i;int;;-2147483648;"},
      {"i;int;;+7;", "i;int;;7;"},
      {"l;long;;9223372036854775807;", "l;long;;9223372036854775807;"},
      {"d;double;;abc;", "d;double;;nan;"},
      {"d;double;;-2.5;", "d;double;;-2.5;"},
      {"d;double;;123456789012345678;", "d;double;;1.23456789012346E17;"},
      {"d;double;;1e20;", "d;double;;1E20;"},
      {"f;bool;;TRUE;", "f;bool;;-1;"},
      {"f;bool;;false;", "f;bool;;0;"},
      {"f;bool;;2;", "f;bool;;-1;"},
      {"f;bool;;0;", "f;bool;;0;"},
      {"t;datetime;;05.03.2011 17:04:09;", "t;datetime;;05.03.2011 17:04:09;"},
      {"t;datetime;;05.03.2011;", "t;datetime;;05.03.2011;"},
      {"y;byte;;0a;", "y;byte;;0A;"},
      {"b;bytes;;0aFF;", "b;bytes;;0AFF;"},
      {"b;bytes;;;", "b;bytes;;;"},
      {"r;struct;;;", "r;struct;;;"},
      {"Grüße;int;;1;ignored;fields;", "Grüße;int;;1;"},
      {"short;string", "short;string;;;"},
  };
  for (const auto& [line, expected] : cases) {
    EXPECT_EQ(rewritten(line), expected) << line;
  }
}

TEST(AttributedDocumentTest, CaptionsAreSingleByteText) {
  TAttributedDocument document;
  document.addStringAttribute("a", "Größe", "");
  document.addStringAttribute("b", "€", "");
  EXPECT_EQ(document.getContent(), "a;string;R3L232U=;;\r\nb;string;Pw==;;\r\n");

  TAttributedDocument read;
  read.setContent(document.getContent());
  EXPECT_EQ(read.getAttributes(0).getAttributeCaption(), "Größe");
  EXPECT_EQ(read.getAttributes(1).getAttributeCaption(), "?");
}

TEST(AttributedDocumentTest, WritesNumbersInTheGeneralForm) {
  const std::pair<double, std::string> cases[] = {
      {0.0, "0"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.333333333333333"},
      {-42.0, "-42"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},
      {1e20, "1E20"},
      {0.00001, "0.00001"},
      {0.000001, "1E-6"},
      {-1.5e-7, "-1.5E-7"},
      {9.9999999999999999e14, "1E15"}, // rounds up into the next power of ten
      {std::nan(""), "nan"},
      {HUGE_VAL, "INF"},
  };
  for (const auto& [value, text] : cases) {
    TAttributedDocument document;
    document.addDoubleAttribute("d", "", value);
    EXPECT_EQ(document.getAttributes(0).getValueAsText(), text) << value;
    if (!std::isnan(value)) {
      EXPECT_EQ(rewritten(document.getAttributes(0).getContent()),
                document.getAttributes(0).getContent());
    }
  }
}

TEST(AttributedDocumentTest, WritesDateTimesWithoutMilliseconds) {
  TAttributedDocument document;
  document.addDateTimeAttribute("t", "", TDateTime::encode(2011, 3, 5, 17, 4, 9, 250));
  document.addDateTimeAttribute("m", "", TDateTime::encodeDate(2011, 3, 5));
  EXPECT_EQ(document.getAttributes(0).getValueAsText(), "05.03.2011 17:04:09");
  EXPECT_EQ(document.getAttributes(1).getValueAsText(), "05.03.2011");

  TAttributedDocument read;
  read.setContent(document.getContent());
  EXPECT_EQ(read.getAttributes(0).getValueAsDateTime(), TDateTime::encode(2011, 3, 5, 17, 4, 9));
}

TEST(AttributedDocumentTest, ReportsBadLinesWithTheDocumentedMessages) {
  const std::string prefix = "Fehler beim Parsen eines Attributes: ";
  const std::string badValue = prefix + "Ungültiger Attributwert \"";
  const std::pair<std::string, std::string> cases[] = {
      {"lonely", prefix + "Ungültige Anzahl Textteile"},
      {";int;;1;", prefix + "Ungültige AttributeID \"\""},
      {"b;bytes;;0A1;",
       badValue + "Das Byte-Array für Attribut \"b\" hat eine falsche Länge, ist ungerade.\""},
      {"b;bytes;;0AZZ;",
       badValue + "Das Byte-Array-Element \"ZZ\" in Attribut \"b\" ist keine gültige Zahl.\""},
      {"c;char;;YWI=;", badValue + "Der Wert \"YWI=\" ist kein einzelnes Zeichen.\""},
      {"c;wchar;;;", badValue + "Der Wert \"\" ist kein einzelnes Unicode-Zeichen.\""},
      {"x;color;;red;", "Ungültiges Attribut in Zeile 0"},
  };
  for (const auto& [line, message] : cases) {
    TAttributedDocument document;
    const std::string text = line;
    EXPECT_EQ(messageOf([&] { document.setContent(text); }), message) << line;
  }

  // Conversions report their own message inside the wrapper.
  const char* badValues[] = {"v;int;;abc;",        "v;int;;2147483648;", "v;int;;;",
                             "v;long;;1.5;",       "v;bool;;yes;",       "v;byte;;1;",
                             "v;byte;;0G;",        "v;datetime;;x;",     "v;datetime;;32.01.2011;",
                             "v;struct;;bGluZQ==;"};
  for (const char* line : badValues) {
    TAttributedDocument document;
    EXPECT_EQ(messageOf([&] { document.setContent(line); }).rfind(badValue, 0), 0u) << line;
  }
}

TEST(AttributedDocumentTest, ReadingStopsAtTheFirstBadLineAndKeepsWhatCameBefore) {
  TAttributedDocument document;
  EXPECT_EQ(messageOf([&] { document.setContent("a;int;;5;\r\nA;int;;6;\r\nb;int;;7;\r\n"); }),
            "Attribut \"A\" in Zeile 1 existiert bereits");
  ASSERT_EQ(document.getAttributeCount(), 1);
  EXPECT_EQ(document.getAttributes(0).getValueAsInteger(), 5);

  // CR, LF and CR LF all end a line; an empty line between two breaks is a line.
  EXPECT_EQ(messageOf([&] { document.setContent("a;int;;1;\rb;int;;2;\n\r\nc;int;;3;"); }),
            "Fehler beim Parsen eines Attributes: Ungültige Anzahl Textteile");
  EXPECT_EQ(document.getAttributeCount(), 2);

  document.setContent("a;int;;1;\rb;int;;2;\nc;int;;3;\r\n");
  EXPECT_EQ(document.getAttributeCount(), 3);
  document.setContent("");
  EXPECT_EQ(document.getAttributeCount(), 0);
}

TEST(AttributedDocumentTest, SkipsUnknownTypesWhenTheyAreNotReported) {
  TAttributedDocument document;
  document.setReportInvalidAttributes(false);
  document.setContent("x;color;;red;");
  EXPECT_EQ(document.getAttributeCount(), 0);
  document.setContent("a;int;;1;\r\nx;color;;red;\r\nb;INT;;2;\r\n");
  ASSERT_EQ(document.getAttributeCount(), 2);
  EXPECT_EQ(document.getAttributes(1).getTypeAsText(), "int");
}

TEST(AttributedDocumentTest, AddingRefusesTakenAndUnreadableIDs) {
  TAttributedDocument document;
  document.addStringAttribute("sender", "Sender", "4917");
  const std::string before = document.getContent();
  EXPECT_EQ(messageOf([&] { document.addStringAttribute("sender", "", "x"); }),
            "Attribut \"sender\" in Zeile -1 existiert bereits");
  EXPECT_EQ(messageOf([&] { document.addIntegerAttribute("Sender", "", 1); }),
            "Attribut \"Sender\" in Zeile -1 existiert bereits");
  EXPECT_EQ(messageOf([&] { document.addIntegerAttribute("SENDER", "", 1); }),
            "Attribut \"SENDER\" in Zeile -1 existiert bereits");
  EXPECT_EQ(messageOf([&] { document.addIntegerAttribute("a;b", "", 1); }),
            "Ungültige AttributeID \"a;b\"");
  EXPECT_EQ(messageOf([&] { document.addIntegerAttribute("", "", 1); }),
            "Ungültige AttributeID \"\"");
  EXPECT_EQ(messageOf([&] { document.addIntegerAttribute("a\nb", "", 1); }),
            "Ungültige AttributeID \"a\nb\"");

  auto attribute = DefaultAttributeFactory().getInstance("int");
  attribute->setAttributeID("sEnDeR");
  EXPECT_THROW(document.addAttribute(std::move(attribute)), EAttributedDocument);
  EXPECT_NE(attribute, nullptr); // the caller keeps what was not taken
  EXPECT_FALSE(document.addAttribute(nullptr));
  EXPECT_EQ(document.getContent(), before);
}

TEST(AttributedDocumentTest, LooksUpAndDeletesByIDWithoutRegardToCase) {
  TAttributedDocument document;
  document.addIntegerAttribute("first", "", 1);
  document.addIntegerAttribute("Größe", "", 2);
  document.addIntegerAttribute("last", "", 3);
  ASSERT_NE(document.getAttributesByID("FIRST"), nullptr);
  EXPECT_EQ(document.getAttributesByID("GRÖSSE"), nullptr);
  ASSERT_NE(document.getAttributesByID("GRÖßE"), nullptr);
  EXPECT_TRUE(document.existsAttributeID("LAST"));
  EXPECT_TRUE(document.existsAttribute(&document.getAttributes(0)));
  EXPECT_THROW(document.getAttributes(3), EAttributedDocument);

  EXPECT_TRUE(document.deleteAttribute(&document.getAttributes(0))); // deletes itself
  EXPECT_FALSE(document.deleteAttributeID("first"));
  EXPECT_TRUE(document.deleteAttributeID("LAST"));
  EXPECT_EQ(document.getContent(), "Größe;int;;2;\r\n");
  document.clear();
  EXPECT_EQ(document.getAttributeCount(), 0);
}

TEST(AttributedDocumentTest, RecordsHoldTheirOwnCopyAtTheTextPrecision) {
  TAttributedDocument sms;
  sms.addStringAttribute("sender", "Sender", "4917012345");
  sms.addDateTimeAttribute("msgtime", "MsgTime", TDateTime::encode(2011, 3, 5, 17, 4, 9, 250));
  TAttributedDocument answer;
  answer.addRecordAttribute("0", "0", sms);
  sms.addIntegerAttribute("later", "", 1);

  TAttributedDocument& copy = answer.getAttributes(0).getValueAsRecord();
  EXPECT_EQ(copy.getAttributeCount(), 2);
  EXPECT_EQ(copy.getAttributesByID("msgtime")->getValueAsDateTime(),
            TDateTime::encode(2011, 3, 5, 17, 4, 9));

  TAttributedDocument parsed;
  parsed.setContent(answer.getContent());
  EXPECT_EQ(parsed.getAttributes(0).getValueAsRecord().getContent(), copy.getContent());
  EXPECT_EQ(parsed.getAttributes(0).getValueAsString(), copy.getContent());

  TAttributedDocument assigned;
  assigned.addIntegerAttribute("gone", "", 1);
  assigned = parsed;
  TAttributedDocument constructed(parsed);
  EXPECT_EQ(assigned.getContent(), answer.getContent());
  EXPECT_EQ(constructed.getContent(), answer.getContent());
}

TEST(AttributedDocumentTest, StreamFormRoundTripsAtTheStreamPosition) {
  TAttributedDocument document;
  document.addIntegerAttribute("Größe€", "", 1); // IDs are the only text written unencoded
  const std::string text = document.getContent();

  std::stringstream stream;
  stream << "head";
  EXPECT_TRUE(document.saveToStream(&stream));
  const std::string bytes = stream.str();
  // "Größe€;int;;1;" CR LF is 16 UTF-16 code units.
  ASSERT_EQ(bytes.size(), 4u + 12 + 4 + 32);
  EXPECT_EQ(bytes.substr(4, 12), std::string("a\0t\0t\0d\0o\0c\0", 12));
  EXPECT_EQ(bytes.substr(16, 4), std::string("\x10\0\0\0", 4));
  EXPECT_EQ(bytes.substr(20, 6), std::string("G\0r\0\xF6\0", 6));

  stream.seekg(4);
  TAttributedDocument loaded;
  EXPECT_TRUE(loaded.loadFromStream(&stream));
  EXPECT_EQ(loaded.getContent(), text);
  EXPECT_FALSE(loaded.saveToStream(nullptr));
  EXPECT_FALSE(loaded.loadFromStream(nullptr));

  const std::pair<std::string, std::string> bad[] = {
      {"head", "there is no attributed document at this stream position."},
      {"", "there is no attributed document at this stream position."},
      {bytes.substr(4, 12) + "\x05", "Stream read error"},
      {bytes.substr(4, 12) + std::string("\xFF\xFF\xFF\xFF", 4) + "a\0", "Stream read error"},
  };
  for (const auto& [input, message] : bad) {
    std::istringstream in(input);
    EXPECT_EQ(messageOf([&] { loaded.loadFromStream(&in); }), message);
  }
}

TEST(AttributedDocumentTest, SavesAndLoadsFiles) {
  testsupport::TTempDir dir;
  TAttributedDocument document;
  document.addBytesAttribute("data", "Data", {0x0A, 0xFF});
  document.saveToFile(dir.file("doc.attdoc"));
  TAttributedDocument loaded;
  loaded.loadFromFile(dir.file("doc.attdoc"));
  EXPECT_EQ(loaded.getContent(), "data;bytes;RGF0YQ==;0AFF;\r\n");
  EXPECT_THROW(loaded.loadFromFile(dir.file("missing")), EAttributedDocument);
  EXPECT_THROW(document.saveToFile(dir.file("no/such/folder")), EAttributedDocument);
}

TEST(AttributedDocumentTest, FactoryRegistersTheTwelveTypesInOrder) {
  const std::vector<std::string> expected = {
      "string=AT_STRING",     "wstring=AT_WIDESTRING", "char=AT_CHAR",     "wchar=AT_WIDECHAR",
      "int=AT_INTEGER",       "long=AT_INT64",         "double=AT_DOUBLE", "bool=AT_BOOLEAN",
      "datetime=AT_DATETIME", "byte=AT_BYTE",          "bytes=AT_BYTES",   "struct=AT_RECORD"};
  EXPECT_EQ(DefaultAttributeFactory().getTypeList(), expected);

  auto attribute = DefaultAttributeFactory().getInstance("WString");
  ASSERT_NE(attribute, nullptr);
  EXPECT_EQ(attribute->getType(), AT_WIDESTRING);
  EXPECT_EQ(attribute->getTypeAsText(), "wstring");
  EXPECT_EQ(DefaultAttributeFactory().getInstance("color"), nullptr);

  auto byClass = DefaultAttributeFactory().getInstance<TWideCharAttribute>("id", "Caption");
  ASSERT_NE(byClass, nullptr);
  EXPECT_EQ(byClass->getTypeAsText(), "wchar");
  EXPECT_EQ(byClass->getAttributeCaption(), "Caption");
  TAttributeFactory empty;
  EXPECT_EQ(empty.getInstance<TStringAttribute>(), nullptr);
}

} // namespace
