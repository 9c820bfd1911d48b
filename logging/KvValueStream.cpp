#include "logging/KvValueStream.h"

#include "common/TextEncoding.h"

#include <algorithm>
#include <istream>
#include <ostream>

namespace {

constexpr const char* kReadError = "stream read error";
constexpr const char* kWrongItem = "invalid stream format: unexpected item";

// A 32-bit length is read in pieces, so that a forged length costs no more memory than the
// stream really holds.
constexpr std::uint64_t kReadChunk = 64 * 1024;

bool hasHighBit(const std::string& aBytes) {
  return std::any_of(aBytes.begin(), aBytes.end(),
                     [](char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; });
}

} // namespace

void TKvValueWriter::writeByte(std::uint8_t aByte) {
  fStream.put(static_cast<char>(aByte));
}

void TKvValueWriter::writeInt32(std::uint32_t aValue) {
  for (int i = 0; i < 4; ++i) {
    writeByte(static_cast<std::uint8_t>(aValue >> (8 * i)));
  }
}

void TKvValueWriter::writeBytes(const std::string& aBytes) {
  fStream.write(aBytes.data(), static_cast<std::streamsize>(aBytes.size()));
}

void TKvValueWriter::writeListBegin() {
  writeByte(KVVT_LIST);
}

void TKvValueWriter::writeListEnd() {
  writeByte(KVVT_NULL);
}

void TKvValueWriter::writeIdent(const std::string& aName) {
  const std::string name = aName.substr(0, 255);
  writeByte(KVVT_IDENT);
  writeByte(static_cast<std::uint8_t>(name.size()));
  writeBytes(name);
}

void TKvValueWriter::writeBoolean(bool aValue) {
  writeByte(aValue ? KVVT_TRUE : KVVT_FALSE);
}

void TKvValueWriter::writeString(const std::string& aText) {
  // UTF-8 is chosen when it is shorter than UTF-16; pure ASCII then takes a single-byte form.
  const std::size_t units = utf16Length(aText);
  if (aText.size() < 2 * units) {
    if (hasHighBit(aText)) {
      writeByte(KVVT_UTF8STRING);
      writeInt32(static_cast<std::uint32_t>(aText.size()));
    } else if (aText.size() <= 255) {
      writeByte(KVVT_STRING);
      writeByte(static_cast<std::uint8_t>(aText.size()));
    } else {
      writeByte(KVVT_LSTRING);
      writeInt32(static_cast<std::uint32_t>(aText.size()));
    }
    writeBytes(aText);
    return;
  }
  const std::u16string wide = utf8ToUtf16(aText);
  writeByte(KVVT_WSTRING);
  writeInt32(static_cast<std::uint32_t>(wide.size()));
  for (char16_t unit : wide) {
    writeByte(static_cast<std::uint8_t>(unit & 0xFF));
    writeByte(static_cast<std::uint8_t>(unit >> 8));
  }
}

std::uint8_t TKvValueReader::readByte() {
  const auto c = fStream.get();
  if (c == std::istream::traits_type::eof()) {
    throw EKvStreamReadError(kReadError);
  }
  return static_cast<std::uint8_t>(c);
}

std::uint8_t TKvValueReader::readTag() {
  return readByte();
}

std::uint32_t TKvValueReader::readLength() {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(readByte()) << (8 * i);
  }
  if (value > 0x7FFFFFFFu) {
    throw EKvStreamReadError(kReadError); // a negative length
  }
  return value;
}

std::string TKvValueReader::readBytes(std::uint64_t aCount) {
  std::string bytes;
  while (bytes.size() < aCount) {
    const std::size_t piece = static_cast<std::size_t>(std::min(aCount - bytes.size(), kReadChunk));
    const std::size_t have = bytes.size();
    bytes.resize(have + piece);
    fStream.read(bytes.data() + have, static_cast<std::streamsize>(piece));
    if (static_cast<std::size_t>(fStream.gcount()) != piece) {
      throw EKvStreamReadError(kReadError);
    }
  }
  return bytes;
}

void TKvValueReader::readListBegin() {
  if (readTag() != KVVT_LIST) {
    throw EKvStreamReadError(kWrongItem);
  }
}

void TKvValueReader::readListEnd() {
  if (readTag() != KVVT_NULL) {
    throw EKvStreamReadError(kWrongItem);
  }
}

std::string TKvValueReader::readIdent() {
  if (readTag() != KVVT_IDENT) {
    throw EKvStreamReadError(kWrongItem);
  }
  return readBytes(readByte());
}

bool TKvValueReader::readBoolean() {
  switch (readTag()) {
  case KVVT_TRUE:
    return true;
  case KVVT_FALSE:
    return false;
  default:
    throw EKvStreamReadError(kWrongItem);
  }
}

std::string TKvValueReader::readString() {
  switch (readTag()) {
  case KVVT_STRING:
    return cp1252ToUtf8(readBytes(readByte()));
  case KVVT_LSTRING:
    return cp1252ToUtf8(readBytes(readLength()));
  case KVVT_UTF8STRING:
    // Bytes that are no UTF-8 are taken as Latin-1, so the text read is valid UTF-8 and is
    // written back as it was read.
    return codePointsToUtf8(utf8ToCodePoints(readBytes(readLength())));
  case KVVT_WSTRING: {
    const std::string bytes = readBytes(2ull * readLength());
    std::u16string wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return utf16ToUtf8(wide);
  }
  default:
    throw EKvStreamReadError(kWrongItem);
  }
}
