#include "modem/VTSMSManagerMessage.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TVTSMSManagerMessage textMessage() {
  TVTSMSManagerMessage message;
  message.setRecipient("4917112345");
  message.setTheMessage("Gr\xC3\xBC\xC3\x9F"
                        "e a=b\r\nneu"); // "Grüße a=b" CR LF "neu"
  message.setMessageDataPDU("0791");
  message.setMessageIndex(3);
  message.setMessageState(0);
  message.setMessageLength(24);
  message.setMessageTimestamp(TDateTime::encode(2011, 3, 5, 17, 4, 9));
  return message;
}

TEST(VTSMSManagerMessageTest, WritesTheNineLinesInWindows1252) {
  EXPECT_EQ(textMessage().toStreamText(), "recipient=4917112345\r\n"
                                          "message=R3L832UgYT1iDQpuZXU=\r\n"
                                          "messagereadable=Gr\xFC\xDF"
                                          "e a#61b#13#10neu\r\n"
                                          "pdu=0791\r\n"
                                          "index=3\r\n"
                                          "state=0\r\n"
                                          "length=24\r\n"
                                          "msgtype=0\r\n"
                                          "msgtime=2011.03.05 17:04:09\r\n");
  TVTSMSManagerMessage data;
  data.setTheMessage("01A");
  data.setMessageType(VTSMSMMT_DATA);
  const std::string text = data.toStreamText();
  EXPECT_NE(text.find("message=01A\r\nmessagereadable=01AF\r\n"), std::string::npos);
}

TEST(VTSMSManagerMessageTest, ReadsBackWhatItWrote) {
  std::stringstream stream;
  textMessage().saveToStream(&stream);
  TVTSMSManagerMessage read;
  ASSERT_TRUE(read.loadFromStream(&stream));
  EXPECT_EQ(read.getRecipient(), "4917112345");
  EXPECT_EQ(read.getTheMessage(), textMessage().getTheMessage());
  EXPECT_EQ(read.getMessageIndex(), 3);
  EXPECT_EQ(read.getMessageTimestamp(), TDateTime::encode(2011, 3, 5, 17, 4, 9));
  textMessage().saveToStream(nullptr); // nothing to write to: nothing happens
  EXPECT_FALSE(read.loadFromStream(nullptr));
}

TEST(VTSMSManagerMessageTest, HonoursByteOrderMarks) {
  const std::string plain = "recipient=\xC3\x84mter\r\nmessage=\r\nmessagereadable=\r\npdu=\r\n"
                            "index=-1\r\nstate=-1\r\nlength=-1\r\nmsgtype=2\r\n"
                            "msgtime=2011.03.05 00:00:00\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : std::u16string(u"recipient=\u00C4mter\r\nmessage=\r\nmessagereadable=\r\n"
                                      u"pdu=\r\nindex=-1\r\nstate=-1\r\nlength=-1\r\nmsgtype=2\r\n"
                                      u"msgtime=2011.03.05 00:00:00\r\n")) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  for (const std::string& bytes : {"\xEF\xBB\xBF" + plain, utf16}) {
    TVTSMSManagerMessage message;
    ASSERT_TRUE(message.fromStreamBytes(bytes));
    EXPECT_EQ(message.getRecipient(), "\xC3\x84mter");
    EXPECT_EQ(static_cast<int>(message.getMessageType()), 2);
  }
}

TEST(VTSMSManagerMessageTest, KeepsTextsBeyondWindows1252WholeInUTF8) {
  TVTSMSManagerMessage message = textMessage();
  const std::string text = "\xD0\x9F\xD1\x80\xD0\xB8 \xF0\x9F\x98\x80 5 \xE2\x82\xAC =";
  message.setTheMessage(text);
  const std::string file = message.toStreamText();
  EXPECT_EQ(
      file.rfind("\xEF\xBB\xBFrecipient=4917112345\r\nmessage=0J/RgNC4IPCfmIAgNSDigqwgPQ==\r\n"
                 "messagereadable=" +
                     text.substr(0, text.size() - 1) + "#61\r\n",
                 0),
      0u)
      << file;
  TVTSMSManagerMessage read;
  ASSERT_TRUE(read.fromStreamBytes(file));
  EXPECT_EQ(read.getTheMessage(), text);

  // A file with the mark whose message is single-byte Base64 reads as before.
  ASSERT_TRUE(read.fromStreamBytes("\xEF\xBB\xBFrecipient=49\r\nmessage=R3L832U=\r\n"));
  EXPECT_EQ(read.getTheMessage(), "Gr\xC3\xBC\xC3\x9F"
                                  "e");
}

TEST(VTSMSManagerMessageTest, MissingOrUnreadableValuesGiveDefaults) {
  TVTSMSManagerMessage message;
  ASSERT_TRUE(message.fromStreamBytes("Recipient=49\r\nMESSAGE=SGk=\r\nindex=x\r\nmsgtype=\r\n"));
  EXPECT_EQ(message.getRecipient(), "49");
  EXPECT_EQ(message.getTheMessage(), "Hi");
  EXPECT_EQ(message.getMessageIndex(), -1);
  EXPECT_EQ(message.getMessageLength(), -1);
  EXPECT_EQ(message.getMessageType(), VTSMSMMT_TEXT);
  EXPECT_EQ(message.getMessageTimestamp(), TDateTime());
}

TEST(VTSMSManagerMessageTest, RejectsTruncatedOrForeignFilesWithoutChangingTheRecord) {
  const std::string whole = textMessage().toStreamText();
  const std::string broken[] = {
      "",
      whole.substr(0, whole.size() / 2),
      whole.substr(0, whole.size() - 1),
      std::string("\x00\x01\x02\xFF\n", 5),
      "just some text\r\n",
      "\xFF\xFE\x00\xD8\n\x00",
  };
  for (const std::string& bytes : broken) {
    TVTSMSManagerMessage message;
    message.setRecipient("kept");
    EXPECT_FALSE(message.fromStreamBytes(bytes)) << bytes;
    EXPECT_EQ(message.getRecipient(), "kept");
  }
}

} // namespace
